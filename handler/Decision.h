#pragma once
// Whether an incoming message is filtered now, and with which action. The decision
// itself is pure: the settings and the clock are read once by the caller and passed in.

#include <concepts>
#include <cstdint>
#include <type_traits>

#include "common/SettingsStore.h"
#include "common/Types.h"

namespace velmo {

// One reading of the device's local clock; dayOfWeek 0 is Sunday.
struct LocalTimeNow {
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t dayOfWeek;
};

// The settings that the decision uses, as read for one message.
struct DecisionSettings {
    std::int16_t activeState;
    TimeOfDay startTime;
    TimeOfDay endTime;
    DWORD weekDays;
    std::int16_t itemsState;
};

LocalTimeNow ReadLocalTimeNow();
DecisionSettings ReadDecisionSettings(SettingsStore& store);

bool IsFilteringActiveNow(const DecisionSettings& settings, const LocalTimeNow& now);

// The FilterAction of a message that is filtered. senderAction yields the stored
// action of the message's sender; it is called only in UserSettings mode, once,
// and its result passes unchanged.
template <typename SenderAction>
requires std::convertible_to<std::invoke_result_t<SenderAction&>, std::int32_t> std::int32_t DecideAction(
    const DecisionSettings& settings, SenderAction&& senderAction) {
    switch (settings.itemsState) {
        case UserSettings: return senderAction();
        case SilentAcceptAll: return SilentAccept;
        case DismissAll: return Dismiss;
        default:  // AcceptAll, and any number outside the modes
            return Accept;
    }
}

}  // namespace velmo
