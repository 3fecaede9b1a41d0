#include "app/ui/MenuBarDialog.h"

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

void MenuBarDialog::Close(int result) {
    DestroyMenuBar();
    EndDialog(result);
}

}  // namespace velmo
