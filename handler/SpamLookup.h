#pragma once
// The spam model's say on a message from a sender outside the address book, after the text
// rules and before the Unknown or Undefined action: when "SpamAction" switches the filter on,
// a message that SpamModel.dat judges spam gets that action instead of the sender's row's.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmo {

class SettingsStore;

struct SpamJudgement {
    std::int32_t action;  // "SpamAction" as a FilterAction: Dismiss or SilentAccept
    double score;         // 0 to 1
    bool spam;            // the score reached the model's threshold and no one-time code held it back
    bool heldBack;        // the score reached it, but the message carries a one-time code
};

// None for a contact's key, when "SpamAction" is off, and when "AppPath" or a sound
// SpamModel.dat is missing: then the message is not spam. messageText is asked for only when
// the filter is on.
std::optional<SpamJudgement> LookupSpam(SettingsStore& settings, std::int32_t senderKey,
                                        const std::function<std::u16string()>& messageText);

}  // namespace velmo
