#pragma once
// The four utilities that every dialog of the program uses, and the placing of controls
// in dialog units.

#include <QMessageBox>
#include <QRect>

#include "app/ui/HandheldDialog.h"

namespace velmo {

class SoftKeyBar;

// Sizes the dialog to the screen (SHIDIF_SIZEDLGFULLSCREEN) and shows the Done button
// (SHIDIF_DONEBUTTON); the screen is the window the dialog covers, else 240 x 320.
bool InitFullScreenDialog(HandheldDialog& dialog, unsigned flags);
// Builds the dialog's menu bar from the menu resource; null when there is no such menu.
SoftKeyBar* CreateDialogMenuBar(HandheldDialog& dialog, unsigned menuId);
// Shows the string table's text in a message box with the caption string and the MB_
// flags; the result is IDOK, IDYES or IDNO.
int ShowStringMessage(QWidget* owner, unsigned textId, unsigned captionId, unsigned flags);
// The same for a text made at run time. Either box lies inside the owner's screen.
int ShowMessage(QWidget* owner, const QString& text, const QString& caption, unsigned flags);
// A message box of the handheld: its caption on a title bar of its own (without a window
// manager nothing else draws one), its text broken between words to the width of the
// owner's screen, placed inside that screen, and the focus given back when it closes.
class HandheldMessageBox : public QMessageBox {
public:
    HandheldMessageBox(QWidget* owner, Icon icon, const QString& caption, const QString& text,
                       StandardButtons buttons = NoButton);
    // Runs the box once its icon, text and buttons are set; the result is exec's.
    int Run();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* owner_;
    QWidget* titleBar_;
};

// Gives the control the program's bold font.
void ApplyBoldFont(HandheldDialog& dialog, int controlId);

// A rectangle of a dialog template, in dialog units, as pixels of the body.
QRect DialogUnitsToPixels(int x, int y, int width, int height);

}  // namespace velmo
