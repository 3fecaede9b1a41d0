#include "app/ui/DialogUtilities.h"

#include <QApplication>
#include <QMessageBox>

#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/WindowConstants.h"

namespace velmo {

namespace {

// The dialog font's average character width and height in pixels, which one
// horizontal dialog unit divides by 4 and one vertical unit by 8.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

QString TableString(unsigned id, std::size_t maxLength) {
    std::u16string_view text = LoadStringResource(id);
    return QString::fromStdU16String(std::u16string(text.substr(0, std::min(text.size(), maxLength))));
}

}  // namespace

bool InitFullScreenDialog(HandheldDialog& dialog, unsigned flags) {
    dialog.ShowDoneButton((flags & SHIDIF_DONEBUTTON) != 0);
    if (flags & SHIDIF_SIZEDLGFULLSCREEN) {
        // The screen follows whichever window is in front, so a resized screen stays resized.
        QWidget* screen = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
        if (screen == nullptr) screen = QApplication::activeModalWidget();
        if (screen == nullptr) screen = QApplication::activeWindow();
        if (screen != nullptr && screen != &dialog) {
            dialog.setGeometry(screen->geometry());
        } else {
            dialog.resize(kScreenWidth, kScreenHeight);
        }
    }
    return true;
}

SoftKeyBar* CreateDialogMenuBar(HandheldDialog& dialog, unsigned menuId) {
    const MenuResource* menu = FindMenuResource(menuId);
    if (menu == nullptr) return nullptr;
    auto* bar = new SoftKeyBar(*menu, &dialog);
    dialog.SetMenuBar(bar);
    return bar;
}

int ShowStringMessage(QWidget* owner, unsigned textId, unsigned captionId, unsigned flags) {
    QMessageBox box(owner);
    box.setText(TableString(textId, 511));
    box.setWindowTitle(TableString(captionId, 255));
    switch (flags & 0xF0) {
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
        default: break;
    }
    if ((flags & 0x0F) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

void ApplyBoldFont(HandheldDialog& dialog, int controlId) {
    if (QWidget* control = dialog.DlgItem(controlId)) control->setFont(BoldFont());
}

QRect DialogUnitsToPixels(int x, int y, int width, int height) {
    return QRect(x * kBaseUnitX / 4, y * kBaseUnitY / 8, width * kBaseUnitX / 4, height * kBaseUnitY / 8);
}

}  // namespace velmo
