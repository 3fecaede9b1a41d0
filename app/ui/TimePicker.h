#pragma once
// A date-time picker in time format with up-down buttons, right-aligned: it shows the
// hour and minute in the locale's way and keeps the seconds it was given, so a time
// saved unchanged comes back with its seconds.

#include <QTimeEdit>

#include "common/Types.h"

namespace velmo {

inline constexpr unsigned CCM_SETVERSION = 0x2007;

class TimePicker : public QTimeEdit {
    Q_OBJECT
public:
    // Starts at the device's local time, as a new picker does.
    explicit TimePicker(QWidget* parent);

    // CCM_SETVERSION: the common-controls version whose behaviour the picker follows;
    // answers the one it had.
    int SetVersion(int version);
    int Version() const { return version_; }

    // DTM_SETSYSTEMTIME: false, and the picker keeps its time, for a time that is not
    // one of a day.
    bool SetTimeOfDay(const TimeOfDay& time);
    // DTM_GETSYSTEMTIME: the time the picker holds.
    TimeOfDay GetTimeOfDay() const;

protected:
    // One Tab moves to the next control, as from any other; Left and Right move between
    // the hour and the minute, as the handheld's time picker does.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int version_ = 0;
};

}  // namespace velmo
