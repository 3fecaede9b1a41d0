#pragma once
// The state selector: a control of window class wndClass_StateSelectorCtrl that keeps a
// state index and a count, advances on a tap or the action key, reports each advance to
// its dialog as a command, and asks its dialog to draw it.

#include <QWidget>
#include <cstdint>

#include "app/core/StateSelectorData.h"

namespace velmo {

inline constexpr char kStateSelectorClass[] = "wndClass_StateSelectorCtrl";

inline constexpr unsigned SSM_GETSTATE = 0x401;
inline constexpr unsigned SSM_SETSTATE = 0x402;
inline constexpr unsigned SSM_SETCOUNT = 0x403;
// The notification code of the command sent, and handled, just before a tap or the action key
// steps the state, so that the dialog can first set the state as it is stored now.
inline constexpr int SSN_STEPPING = 1;

class StateSelectorCtrl : public QWidget {
    Q_OBJECT
public:
    explicit StateSelectorCtrl(QWidget* parent);

    // SSM_GETSTATE answers the state; SSM_SETSTATE and SSM_SETCOUNT answer 0; any other
    // message answers 0 and does nothing.
    std::intptr_t SendMessage(unsigned message, std::intptr_t wParam);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Advance();

    StateSelectorData data_;
};

bool RegisterStateSelectorClass();
bool UnregisterStateSelectorClass();

}  // namespace velmo
