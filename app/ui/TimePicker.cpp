#include "app/ui/TimePicker.h"

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

TimeOfDay TimePicker::GetTimeOfDay() const {
    QTime value = time();
    return {value.hour(), value.minute(), value.second()};
}

}  // namespace velmo
