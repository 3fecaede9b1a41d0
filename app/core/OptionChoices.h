#pragma once
// The entries of the Options dialog's three boxes and how an entry stands for a stored
// setting: the action box lists Accept, Silent accept, Dismiss, which is not the order of
// the stored numbers; the other two boxes use the entry's index as the value.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

// The entries of a string-table text "first;second;...;": each name before a ';'. Text
// after the last ';' is no entry. The text is read as the 255-unit resource buffer holds
// it, so units beyond the 254th are not seen.
std::vector<std::u16string> SplitChoices(std::u16string_view text);

// The position of a FilterAction in the action box, or -1 when it has none.
int PositionOfAction(std::int32_t action);
// The FilterAction at a position of the action box, or -1 for a position without one.
std::int32_t ActionAtPosition(int position);

// The spam box lists Off, Dismiss, Silent accept: the position of a "SpamAction" as
// SettingsStore reads it (Accept for off), and the action at a position, -1 for none.
int PositionOfSpamAction(std::int32_t action);
std::int32_t SpamActionAtPosition(int position);

}  // namespace velmo
