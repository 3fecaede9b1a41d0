#include "app/core/OptionChoices.h"

#include <array>

#include "common/Types.h"

namespace velmo {

namespace {

// The resource buffer holds 255 units with its terminator.
constexpr std::size_t kMaxChoicesText = 254;

constexpr std::array<std::int32_t, 3> kActionsInBoxOrder = {Accept, SilentAccept, Dismiss};

}  // namespace

std::vector<std::u16string> SplitChoices(std::u16string_view text) {
    text = text.substr(0, std::min(text.size(), kMaxChoicesText));
    std::vector<std::u16string> entries;
    for (std::size_t end = text.find(u';'); end != std::u16string_view::npos; end = text.find(u';')) {
        entries.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return entries;
}

int PositionOfAction(std::int32_t action) {
    for (std::size_t i = 0; i < kActionsInBoxOrder.size(); ++i) {
        if (kActionsInBoxOrder[i] == action) return static_cast<int>(i);
    }
    return -1;
}

std::int32_t ActionAtPosition(int position) {
    if (position < 0 || position >= static_cast<int>(kActionsInBoxOrder.size())) return -1;
    return kActionsInBoxOrder[static_cast<std::size_t>(position)];
}

int PositionOfSpamAction(std::int32_t action) {
    switch (action) {
        case Dismiss: return 1;
        case SilentAccept: return 2;
        default: return 0;
    }
}

std::int32_t SpamActionAtPosition(int position) {
    switch (position) {
        case 0: return Accept;
        case 1: return Dismiss;
        case 2: return SilentAccept;
        default: return -1;
    }
}

}  // namespace velmo
