#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>

#include "common/SettingsStore.h"
#include "device/Clock.h"
#include "handler/Decision.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

enum Day : std::uint16_t { Sunday, Monday, Tuesday, Wednesday, Thursday, Friday, Saturday };

constexpr DWORD kMondayToFriday = 31;
constexpr DWORD kSundayOnly = 64;

DecisionSettings Settings(std::int16_t state, TimeOfDay start = {21, 0, 0}, TimeOfDay end = {8, 0, 0},
                          DWORD weekDays = kMondayToFriday) {
    return DecisionSettings{state, start, end, weekDays, UserSettings};
}

DecisionSettings DayWindow(DWORD weekDays = kMondayToFriday) {
    return Settings(ActiveBySchedule, {8, 0, 0}, {21, 0, 0}, weekDays);
}

struct ScheduleRow {
    const char* name;
    DecisionSettings settings;
    LocalTimeNow now;
    bool filtering;
};

void PrintTo(const ScheduleRow& row, std::ostream* out) { *out << row.name; }

class Schedule : public testing::TestWithParam<ScheduleRow> {};

TEST_P(Schedule, DecidesWhetherFilteringApplies) {
    EXPECT_EQ(IsFilteringActiveNow(GetParam().settings, GetParam().now), GetParam().filtering);
}

INSTANTIATE_TEST_SUITE_P(
    Decision, Schedule,
    testing::Values(
        ScheduleRow{"DisabledByDefault", Settings(Disabled), {23, 30, 0, Friday}, false},
        ScheduleRow{"UnknownStateIsDisabled", Settings(5), {23, 30, 0, Friday}, false},
        ScheduleRow{"NegativeStateIsDisabled", Settings(-1), {23, 30, 0, Friday}, false},
        ScheduleRow{"ActiveIgnoresWindowAndDays", Settings(Active), {12, 0, 0, Sunday}, true},
        ScheduleRow{"ActiveWithNoDays", Settings(Active, {8, 0, 0}, {8, 0, 0}, 0), {12, 0, 0, Sunday}, true},
        ScheduleRow{
            "EmptyWindowNeverAtItsEdge", Settings(ActiveBySchedule, {8, 0, 0}, {8, 0, 0}), {8, 0, 0, Monday}, false},
        ScheduleRow{
            "EmptyWindowNeverElsewhere", Settings(ActiveBySchedule, {8, 0, 0}, {8, 0, 0}), {20, 0, 0, Monday}, false},
        ScheduleRow{"DayWindowStartIncluded", DayWindow(), {8, 0, 0, Monday}, true},
        ScheduleRow{"DayWindowEndIncluded", DayWindow(), {21, 0, 0, Monday}, true},
        ScheduleRow{"DayWindowSecondBefore", DayWindow(), {7, 59, 59, Monday}, false},
        ScheduleRow{"DayWindowSecondAfter", DayWindow(), {21, 0, 1, Monday}, false},
        ScheduleRow{"DefaultsFridayEvening", Settings(ActiveBySchedule), {23, 30, 0, Friday}, true},
        ScheduleRow{"DefaultsTuesdayNight", Settings(ActiveBySchedule), {2, 0, 0, Tuesday}, true},
        ScheduleRow{"DefaultsSaturdayNightUsesSaturday", Settings(ActiveBySchedule), {2, 0, 0, Saturday}, false},
        ScheduleRow{"DefaultsMondayNoon", Settings(ActiveBySchedule), {12, 0, 0, Monday}, false},
        ScheduleRow{"DefaultsSundayEvening", Settings(ActiveBySchedule), {23, 30, 0, Sunday}, false},
        ScheduleRow{"DefaultsStartIncluded", Settings(ActiveBySchedule), {21, 0, 0, Wednesday}, true},
        ScheduleRow{"DefaultsEndIncluded", Settings(ActiveBySchedule), {8, 0, 0, Wednesday}, true},
        ScheduleRow{"DefaultsSecondAfterEnd", Settings(ActiveBySchedule), {8, 0, 1, Wednesday}, false},
        ScheduleRow{"DefaultsSecondBeforeStart", Settings(ActiveBySchedule), {20, 59, 59, Wednesday}, false},
        ScheduleRow{"SundayOnlyOnSunday", DayWindow(kSundayOnly), {12, 0, 0, Sunday}, true},
        ScheduleRow{"SundayOnlyOnMonday", DayWindow(kSundayOnly), {12, 0, 0, Monday}, false},
        ScheduleRow{"SundayOnlyOnSaturday", DayWindow(kSundayOnly), {12, 0, 0, Saturday}, false},
        ScheduleRow{"MondayIsBitZero", DayWindow(1), {12, 0, 0, Monday}, true},
        ScheduleRow{"MondayBitAloneNotTuesday", DayWindow(1), {12, 0, 0, Tuesday}, false},
        ScheduleRow{"NoDaysNeverFilters", DayWindow(0), {12, 0, 0, Wednesday}, false}),
    [](const testing::TestParamInfo<ScheduleRow>& info) { return std::string(info.param.name); });

struct ActionRow {
    const char* name;
    std::int16_t itemsState;
    std::int32_t senderAction;
    std::int32_t expected;
    int expectedCalls;
};

void PrintTo(const ActionRow& row, std::ostream* out) { *out << row.name; }

class Action : public testing::TestWithParam<ActionRow> {};

TEST_P(Action, ComesFromTheItemsModeOrTheSender) {
    const ActionRow& row = GetParam();
    DecisionSettings settings = Settings(Active);
    settings.itemsState = row.itemsState;
    int calls = 0;
    auto sender = [&] {
        ++calls;
        return row.senderAction;
    };
    EXPECT_EQ(DecideAction(settings, sender), row.expected);
    EXPECT_EQ(calls, row.expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Decision, Action,
    testing::Values(ActionRow{"UserSettingsAccept", UserSettings, Accept, Accept, 1},
                    ActionRow{"UserSettingsDismiss", UserSettings, Dismiss, Dismiss, 1},
                    ActionRow{"UserSettingsSilentAccept", UserSettings, SilentAccept, SilentAccept, 1},
                    ActionRow{"UserSettingsPassesFiveThrough", UserSettings, 5, 5, 1},
                    ActionRow{"AcceptAll", AcceptAll, Dismiss, Accept, 0},
                    ActionRow{"SilentAcceptAll", SilentAcceptAll, Dismiss, SilentAccept, 0},
                    ActionRow{"DismissAllOverridesAcceptingSender", DismissAll, Accept, Dismiss, 0},
                    ActionRow{"ModeSevenAccepts", 7, Dismiss, Accept, 0},
                    ActionRow{"NegativeModeAccepts", -1, Dismiss, Accept, 0}),
    [](const testing::TestParamInfo<ActionRow>& info) { return std::string(info.param.name); });

TEST(Decision, SettingsSnapshotTakesEveryDefaultOnAFreshDevice) {
    test::TempDevice device;
    SettingsStore store;
    const DecisionSettings settings = ReadDecisionSettings(store);
    EXPECT_EQ(settings.activeState, Disabled);
    EXPECT_EQ(settings.itemsState, UserSettings);
    EXPECT_EQ(settings.weekDays, 31u);
    EXPECT_EQ(settings.startTime.hour, 21);
    EXPECT_EQ(settings.endTime.hour, 8);
    EXPECT_FALSE(IsFilteringActiveNow(settings, LocalTimeNow{23, 30, 0, Friday}));
}

TEST(Decision, SettingsSnapshotReadsEachStoredValue) {
    test::TempDevice device;
    SettingsStore store;
    store.SetActiveState(ActiveBySchedule);
    store.SetItemsState(SilentAcceptAll);
    store.SetWeekDays(kSundayOnly);
    store.SetStartTime(TimeOfDay{6, 30, 5});
    store.SetEndTime(TimeOfDay{7, 45, 10});
    const DecisionSettings settings = ReadDecisionSettings(store);
    EXPECT_EQ(settings.activeState, ActiveBySchedule);
    EXPECT_EQ(settings.itemsState, SilentAcceptAll);
    EXPECT_EQ(settings.weekDays, kSundayOnly);
    EXPECT_EQ(settings.startTime.hour, 6);
    EXPECT_EQ(settings.startTime.minute, 30);
    EXPECT_EQ(settings.startTime.second, 5);
    EXPECT_EQ(settings.endTime.hour, 7);
    EXPECT_EQ(settings.endTime.minute, 45);
    EXPECT_EQ(settings.endTime.second, 10);
}

TEST(Decision, LocalTimeNowIsTheDeviceClockInTheLocalZone) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz != nullptr ? oldTz : "";
    setenv("TZ", "UTC-2", 1);  // two hours east of UTC
    tzset();
    using namespace std::chrono;
    // Saturday 2026-12-05 23:15:07 UTC is Sunday 01:15:07 two hours east.
    device::SetNowForTesting(sys_days{year{2026} / December / 5} + hours{23} + minutes{15} + seconds{7});
    const LocalTimeNow now = ReadLocalTimeNow();
    device::SetNowForTesting(std::nullopt);
    if (oldTz != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();

    EXPECT_EQ(now.hour, 1);
    EXPECT_EQ(now.minute, 15);
    EXPECT_EQ(now.second, 7);
    EXPECT_EQ(now.dayOfWeek, Sunday);
}

}  // namespace
