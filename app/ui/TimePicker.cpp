#include "app/ui/TimePicker.h"

#include <QKeyEvent>

#include "app/ui/TimeFormat.h"
#include "device/Clock.h"

namespace velmo {

TimePicker::TimePicker(QWidget* parent) : QTimeEdit(parent) {
    setDisplayFormat(TimeFormatNoSeconds());
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    setTime(QTime(now.wHour, now.wMinute, now.wSecond));
}

int TimePicker::SetVersion(int version) {
    int previous = version_;
    version_ = version;
    return previous;
}

bool TimePicker::SetTimeOfDay(const TimeOfDay& time) {
    QTime value(time.hour, time.minute, time.second);
    if (!value.isValid()) return false;
    setTime(value);
    return true;
}

bool TimePicker::focusNextPrevChild(bool next) { return QAbstractSpinBox::focusNextPrevChild(next); }

void TimePicker::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        const int section = currentSectionIndex() + (event->key() == Qt::Key_Left ? -1 : 1);
        if (section >= 0 && section < sectionCount()) {
            setCurrentSectionIndex(section);
            setSelectedSection(currentSection());
        }
        event->accept();
        return;
    }
    QTimeEdit::keyPressEvent(event);
}

TimeOfDay TimePicker::GetTimeOfDay() const {
    QTime value = time();
    return {value.hour(), value.minute(), value.second()};
}

}  // namespace velmo
