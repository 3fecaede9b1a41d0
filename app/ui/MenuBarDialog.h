#pragma once
// A dialog whose menu bar offers the command that closes it: that command, IDOK (the
// title bar's Done button), IDCANCEL and closing the window end the dialog with their id
// (kClosedByWindow for the window) once its menu bar is gone.

#include "app/ui/HandheldDialog.h"

namespace velmo {

class MenuBarDialog : public HandheldDialog {
    Q_OBJECT
protected:
    MenuBarDialog(QWidget* owner, const QString& caption, int closeCommand);

    // The dialog's other commands; FALSE for one it does not take.
    virtual std::intptr_t OnMenuCommand(int) { return FALSE; }
    // Ends the dialog with result.
    virtual void Close(int result);
    // Lets Escape end the dialog as its close command does, whichever control has the focus.
    void CloseOnEscape();

    void keyPressEvent(QKeyEvent* event) override;

private:
    std::intptr_t OnCommand(int id, int code) final;
    void OnClose() final { Close(kClosedByWindow); }

    int closeCommand_;
    bool closeOnEscape_ = false;
};

}  // namespace velmo
