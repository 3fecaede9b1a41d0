#pragma once
// The rows of the blocked-message list: which record of Mesages.dat each row shows, the
// latest delivered at the top, and the texts of a record that the user sees.

#include <cstdint>
#include <optional>
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

}  // namespace velmo
