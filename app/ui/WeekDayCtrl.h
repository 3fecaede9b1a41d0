#pragma once
// The week-day control (window class wndClass_WeekDayCtrl): seven cells, one a day from
// the locale's first day of the week, each showing its day's first letter and
// highlighted when the day is chosen. Left and Right move a red cursor, Enter and a tap
// toggle a day; the dialog reads and sets the day mask with two messages.

#include <QLocale>
#include <QWidget>
#include <cstdint>

#include "app/core/Platform.h"
#include "app/core/WeekDayData.h"

namespace velmo {

inline constexpr char kWeekDayCtrlClass[] = "wndClass_WeekDayCtrl";

inline constexpr unsigned WDM_GETDAYS = 0x401;  // WM_USER + 1: answers the day mask
inline constexpr unsigned WDM_SETDAYS = 0x402;  // WM_USER + 2, wParam the mask: answers 0

class WeekDayCtrl : public QWidget {
    Q_OBJECT
public:
    // The week and the day names are the locale's, read once now.
    WeekDayCtrl(QWidget* parent, const QLocale& locale, Platform platform);

    // Any other message answers 0 and does nothing.
    std::intptr_t SendMessage(unsigned message, std::intptr_t wParam);
    const WeekDayData& Data() const { return data_; }
    // The client area's cell under a point, as a tap would find it; -1 for none.
    int CellAt(QPoint point) const;
    // A cell's rectangle in the client area as it is drawn now.
    QRect CellRect(int cell) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CellBox Client() const;

    WeekDayData data_;
    Platform platform_;
};

// The class creates controls in the user's locale and the given platform's look.
bool RegisterWeekDayCtrlClass(Platform platform = kBuildPlatform);
bool UnregisterWeekDayCtrlClass();

}  // namespace velmo
