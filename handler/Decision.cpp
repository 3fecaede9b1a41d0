#include "handler/Decision.h"

#include "device/Clock.h"

namespace velmo {

namespace {

// Unsigned, so that a corrupt stored time gives a definite (if useless) number.
std::uint32_t SecondsSinceMidnight(std::uint32_t hour, std::uint32_t minute, std::uint32_t second) {
    return hour * 3600u + minute * 60u + second;
}

std::uint32_t SecondsSinceMidnight(const TimeOfDay& time) {
    return SecondsSinceMidnight(static_cast<std::uint32_t>(time.hour), static_cast<std::uint32_t>(time.minute),
                                static_cast<std::uint32_t>(time.second));
}

}  // namespace

LocalTimeNow ReadLocalTimeNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return LocalTimeNow{st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek};
}

DecisionSettings ReadDecisionSettings(SettingsStore& store) {
    DecisionSettings settings{};
    settings.activeState = store.GetActiveState();
    store.GetStartTime(settings.startTime);
    store.GetEndTime(settings.endTime);
    settings.weekDays = store.GetWeekDays();
    settings.itemsState = store.GetItemsState();
    return settings;
}

bool IsFilteringActiveNow(const DecisionSettings& settings, const LocalTimeNow& now) {
    if (settings.activeState == Active) return true;
    if (settings.activeState != ActiveBySchedule) return false;

    const std::uint32_t start = SecondsSinceMidnight(settings.startTime);
    const std::uint32_t end = SecondsSinceMidnight(settings.endTime);
    const std::uint32_t at = SecondsSinceMidnight(now.hour, now.minute, now.second);
    if (start == end) return false;
    const bool inWindow = start < end ? (start <= at && at <= end) : (at >= start || at <= end);
    if (!inWindow) return false;

    // WeekDays counts from Monday (bit 0), the clock from Sunday (0).
    const unsigned bit = (now.dayOfWeek + 6u) % 7u;
    return ((settings.weekDays >> bit) & 1u) != 0;
}

}  // namespace velmo
