#pragma once
// A dialog as the handheld shows it: the whole screen, with a title bar that carries the
// caption and the Done ("ok") button, the body with the dialog's controls, and at the
// bottom the menu bar of two soft keys. Clicks, keys and control notifications arrive as
// the handheld's dialog messages: commands, owner drawing, list notifications, timers.

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <cstdint>
#include <map>
#include <memory>

#include "app/ui/SoftKeyBar.h"
#include "app/ui/WindowConstants.h"

class QKeyEvent;
class QLabel;
class QPainter;
class QToolButton;
class QVBoxLayout;

namespace velmo {

class WindowPresence;

// The screen of the handheld, which every dialog fills unless it follows another window.
inline constexpr int kScreenWidth = 240;
inline constexpr int kScreenHeight = 320;

// What an owner-drawn control hands its dialog to draw one item (DRAWITEMSTRUCT).
struct DrawItemInfo {
    int controlId = 0;
    int itemId = 0;
    unsigned itemState = 0;  // ODS_ flags
    QWidget* item = nullptr;
    QPainter* painter = nullptr;
    QRect rect;
};

// A notification of a list control (WM_NOTIFY).
struct ListNotification {
    int controlId = 0;
    int code = 0;                    // NM_ or LVN_ code
    int item = -1;                   // the item tapped, for NM_CLICK
    unsigned virtualKey = 0;         // the key's code, for LVN_KEYDOWN
    const QKeyEvent* key = nullptr;  // the key press itself, for LVN_KEYDOWN
};

// Held while a modal window runs: its owner's window (without an owner, the window in
// front when it opened) takes the keyboard focus back, on the control that had it, once
// the modal window has closed. Without a window manager nothing else gives it back, and
// keys would reach no window.
class FocusReturn {
public:
    explicit FocusReturn(QWidget* owner);
    ~FocusReturn();
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    QPointer<QWidget> window_;
    QPointer<QWidget> focus_;
};

class HandheldDialog : public QDialog {
    Q_OBJECT
public:
    HandheldDialog(QWidget* owner, const QString& caption);
    ~HandheldDialog() override;

    // Initialises the dialog and runs it modally; the result is the one given to EndDialog.
    int DoModal();
    // Initialises the dialog and shows it without a modal loop.
    void Create();
    void EndDialog(int result);
    bool Ended() const { return ended_; }

    QString Caption() const;
    // The client area: the controls' parent, between the title bar and the menu bar.
    QWidget* Body() const { return body_; }
    // The control with the id, or null.
    QWidget* DlgItem(int controlId) const;
    // Gives a control of the body its id.
    static void SetControlId(QWidget* control, int controlId);
    static int ControlId(const QWidget* control);
    // The dialog that a control belongs to, or null.
    static HandheldDialog* Of(QWidget* control) { return qobject_cast<HandheldDialog*>(control->window()); }

    // The title bar's Done button, which sends IDOK.
    void ShowDoneButton(bool shown);
    QToolButton* DoneButton() const { return doneButton_; }
    // The menu bar at the bottom; the dialog owns it from here on.
    void SetMenuBar(SoftKeyBar* bar);
    SoftKeyBar* MenuBar() const { return menuBar_; }
    void DestroyMenuBar();

    // Presses soft key index of the menu bar, as the handheld's soft-key buttons do (F1 the
    // left one, F2 the right one): a popup opens, a command is sent.
    void PressSoftKey(int index);

    // Brings the dialog to the front and paints it at once.
    void BringToForeground();

    // Timers of the dialog by id: setting one again restarts it with the new period.
    void SetTimer(int timerId, int milliseconds);
    void KillTimer(int timerId);
    // The period of a running timer, or 0 when it does not run.
    int TimerPeriod(int timerId) const;

    // Messages from controls: sent (handled before the call returns) or posted (handled
    // by the event loop afterwards).
    std::intptr_t SendCommand(int id, int code);
    void PostCommand(int id, int code);
    bool SendDrawItem(const DrawItemInfo& info) { return OnDrawItem(info); }
    std::intptr_t SendNotify(const ListNotification& notification) { return OnNotify(notification); }

protected:
    // WM_INITDIALOG: true lets the dialog give the focus to its first control.
    virtual bool OnInitDialog() { return true; }
    // WM_COMMAND; by default IDOK and IDCANCEL end the dialog with their id.
    virtual std::intptr_t OnCommand(int id, int code);
    virtual bool OnDrawItem(const DrawItemInfo&) { return false; }
    virtual std::intptr_t OnNotify(const ListNotification&) { return 0; }
    virtual void OnTimer(int) {}
    // Another process asked for the dialog to come to the front (SetForegroundWindow).
    virtual void OnBroughtForward() {}
    // WM_SIZE, WM_ACTIVATE and WM_SETTINGCHANGE all lay the controls out again.
    virtual void OnLayout() {}
    // WM_CLOSE; by default the dialog ends with kClosedByWindow.
    virtual void OnClose() { EndDialog(kClosedByWindow); }

    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitDialog();

    QVBoxLayout* layout_ = nullptr;
    QWidget* titleBar_ = nullptr;
    QLabel* captionLabel_ = nullptr;
    QToolButton* doneButton_ = nullptr;
    QWidget* body_ = nullptr;
    QPointer<SoftKeyBar> menuBar_;
    std::unique_ptr<WindowPresence> presence_;
    std::map<int, std::pair<int, int>> timers_;  // id -> (Qt timer, period)
    bool initialised_ = false;
    bool ended_ = false;
    bool focusFramed_ = false;
    int result_ = 0;
};

}  // namespace velmo
