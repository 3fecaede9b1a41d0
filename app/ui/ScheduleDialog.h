#pragma once
// "Schedule settings" (dialog 135): the start and end of the daily filtering window and
// the days on which it applies. Only "OK" writes, and it writes all three settings.

#include "app/core/Platform.h"
#include "app/ui/MenuBarDialog.h"

namespace velmo {

class SettingsStore;
class TimePicker;
class WeekDayCtrl;

class ScheduleDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 135;
    static constexpr int IDC_START_TIME = 136;
    static constexpr int IDC_END_TIME = 137;
    static constexpr int IDC_WEEK_DAYS = 138;
    // The pickers' common-controls version on each platform.
    static constexpr int kWindowsMobile5PickerVersion = 0x20E;
    static constexpr int kPocketPC2003PickerVersion = 0x20C;

    ScheduleDialog(QWidget* owner, SettingsStore& settings, Platform platform = kBuildPlatform);

    TimePicker* StartPicker() const { return start_; }
    TimePicker* EndPicker() const { return end_; }
    // Null when the week-day control's class is not registered.
    WeekDayCtrl* WeekDays() const { return days_; }

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;

private:
    SettingsStore& settings_;
    Platform platform_;
    TimePicker* start_ = nullptr;
    TimePicker* end_ = nullptr;
    WeekDayCtrl* days_ = nullptr;
};

}  // namespace velmo
