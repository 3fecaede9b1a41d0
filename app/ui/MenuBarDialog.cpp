#include "app/ui/MenuBarDialog.h"

#include <QKeyEvent>
#include <QShortcut>

namespace velmo {

MenuBarDialog::MenuBarDialog(QWidget* owner, const QString& caption, int closeCommand)
    : HandheldDialog(owner, caption), closeCommand_(closeCommand) {}

std::intptr_t MenuBarDialog::OnCommand(int id, int) {
    if (id == IDOK || id == IDCANCEL || id == closeCommand_) {
        Close(id);
        return TRUE;
    }
    return OnMenuCommand(id);
}

void MenuBarDialog::CloseOnEscape() {
    closeOnEscape_ = true;
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { SendCommand(closeCommand_, 0); });
}

void MenuBarDialog::keyPressEvent(QKeyEvent* event) {
    // An Escape that a control passed on, before the window's shortcuts were ready for it,
    // would otherwise cancel the dialog.
    if (closeOnEscape_ && event->key() == Qt::Key_Escape) {
        SendCommand(closeCommand_, 0);
        return;
    }
    HandheldDialog::keyPressEvent(event);
}

void MenuBarDialog::Close(int result) {
    DestroyMenuBar();
    EndDialog(result);
}

}  // namespace velmo
