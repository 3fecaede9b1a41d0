#include "app/ui/WeekDayCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <string>

#include "app/ui/KeyCodes.h"
#include "app/ui/Painting.h"
#include "app/ui/SystemColors.h"
#include "app/ui/WindowClasses.h"
#include "app/ui/WindowConstants.h"

namespace velmo {

namespace {

constexpr std::uint32_t kCursorOuterColour = RGB(190, 0, 0);
constexpr std::uint32_t kCursorInnerColour = RGB(255, 0, 0);

WeekDayData LocaleWeek(const QLocale& locale) {
    // Qt counts the days of the week from 1 for Monday.
    std::array<std::u16string, WeekDayData::kCells> names;
    std::array<std::u16string_view, WeekDayData::kCells> views;
    for (std::size_t d = 0; d < names.size(); ++d) {
        names[d] = locale.dayName(static_cast<int>(d) + 1, QLocale::ShortFormat).toStdU16String();
        views[d] = names[d];
    }
    return WeekDayData(static_cast<int>(locale.firstDayOfWeek()) - 1, views);
}

QRect ToQRect(const CellBox& box) { return QRect(box.left, box.top, box.right - box.left, box.bottom - box.top); }

void DrawOutline(QPainter& painter, const QRect& rect, std::uint32_t colour) {
    painter.setPen(QPen(ColorFromRef(colour), 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
}

}  // namespace

WeekDayCtrl::WeekDayCtrl(QWidget* parent, const QLocale& locale, Platform platform)
    : QWidget(parent), data_(LocaleWeek(locale)), platform_(platform) {
    // A tab stop that a tap does not focus.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::intptr_t WeekDayCtrl::SendMessage(unsigned message, std::intptr_t wParam) {
    switch (message) {
        case WDM_GETDAYS: return static_cast<std::intptr_t>(data_.Mask());
        case WDM_SETDAYS:
            data_.SetMask(static_cast<std::uint32_t>(wParam));
            update();
            return 0;
        default: return 0;
    }
}

CellBox WeekDayCtrl::Client() const { return {0, 0, width(), height()}; }

int WeekDayCtrl::CellAt(QPoint point) const { return WeekDayData::CellAt(Client(), hasFocus(), point.x(), point.y()); }

QRect WeekDayCtrl::CellRect(int cell) const {
    return ToQRect(WeekDayData::Cell(WeekDayData::CellArea(Client(), hasFocus()), cell));
}

void WeekDayCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromRef(GetSysColor(COLOR_WINDOW)));
    bool focused = hasFocus();
    if (focused) {
        if (platform_ == Platform::PocketPC2003)
            DrawFocusRect(painter, rect());
        else
            DrawOutline(painter, rect(), GetSysColor(COLOR_HIGHLIGHT));
    }
    CellBox area = WeekDayData::CellArea(Client(), focused);
    painter.setFont(font());
    for (int cell = 0; cell < WeekDayData::kCells; ++cell) {
        CellBox box = WeekDayData::Cell(area, cell);
        QRect rect = ToQRect(box);
        bool chosen = data_.IsDayChosen(data_.DayOfCell(cell));
        if (chosen) painter.fillRect(rect, ColorFromRef(GetSysColor(COLOR_HIGHLIGHT)));
        painter.setPen(ColorFromRef(GetSysColor(chosen ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT)));
        DrawTextW(painter, QString(QChar(data_.CellLetter(cell))), rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        painter.setPen(QPen(ColorFromRef(GetSysColor(COLOR_WINDOWTEXT)), 0));
        if (cell < WeekDayData::kCells - 1) painter.drawLine(box.right, box.top, box.right, box.bottom - 1);
        if (focused && cell == data_.FocusPosition()) {
            // Two red outlines, one inside the other, mark the cursor.
            DrawOutline(painter, rect, kCursorOuterColour);
            DrawOutline(painter, rect.adjusted(1, 1, -1, -1), kCursorInnerColour);
        }
    }
}

void WeekDayCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    int cell = CellAt(event->position().toPoint());
    if (cell < 0) return;
    data_.ToggleCell(cell);
    update();
}

void WeekDayCtrl::keyPressEvent(QKeyEvent* event) {
    // The control keeps what its dialog code claims; the rest is the dialog's, which moves
    // the focus on arrows, as the dialog manager of the handheld does.
    unsigned key = VirtualKeyOf(*event);
    unsigned code = data_.DialogCode(key);
    bool arrow = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
    bool kept = (code & DLGC_WANTALLKEYS) != 0 || (arrow && (code & DLGC_WANTARROWS) != 0);
    if (!kept) {
        event->ignore();
        return;
    }
    if (data_.KeyDown(key)) update();
}

void WeekDayCtrl::focusInEvent(QFocusEvent*) { update(); }

void WeekDayCtrl::focusOutEvent(QFocusEvent*) { update(); }

bool RegisterWeekDayCtrlClass(Platform platform) {
    return RegisterWindowClass(QString::fromLatin1(kWeekDayCtrlClass),
                               [platform](QWidget* parent) { return new WeekDayCtrl(parent, QLocale(), platform); });
}

bool UnregisterWeekDayCtrlClass() { return UnregisterWindowClass(QString::fromLatin1(kWeekDayCtrlClass)); }

}  // namespace velmo
