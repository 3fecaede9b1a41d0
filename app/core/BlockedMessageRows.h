#pragma once
// The rows of the blocked-message list: which record of Mesages.dat each row shows, the
// latest delivered at the top, and the texts of a record that the user sees.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/BlockedMessageFile.h"

namespace velmo {

// Row r shows record order[r], order being NewestFirst of the file; a row past the records shows none.
std::optional<std::uint32_t> RecordOfRow(const std::vector<std::uint32_t>& order, int row);

// The sender as the user knows it: the name, or the address when the name is empty.
std::u16string_view ShownSender(const BlockedMessageRecord& record);
// The message text, which an SMS keeps in the subject.
std::u16string_view MessageText(const BlockedMessageRecord& record);
// The address that stands beside a sender's name; empty when the name is the address already.
std::u16string_view SenderNumber(const BlockedMessageRecord& record);

// A text for one row: line breaks and tabs as spaces, every other control written out as the
// command line writes it (ESC as `\e`), so that nothing draws as a box or runs past the row.
std::u16string OneLine(std::u16string_view text);

}  // namespace velmo
