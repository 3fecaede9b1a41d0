#include "app/core/BlockedMessageRows.h"

#include <algorithm>
#include <iterator>

namespace velmo {

namespace {

// A field read from the file may lack its zero unit; the text then ends with the field.
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
    return {field, static_cast<std::size_t>(std::find(std::begin(field), std::end(field), u'\0') - field)};
}

}  // namespace

std::optional<std::uint32_t> RecordOfRow(const std::vector<std::uint32_t>& order, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= order.size()) return std::nullopt;
    return order[static_cast<std::size_t>(row)];
}

std::u16string_view ShownSender(const BlockedMessageRecord& record) {
    std::u16string_view name = FieldText(record.senderName);
    return name.empty() ? FieldText(record.senderAddress) : name;
}

std::u16string_view MessageText(const BlockedMessageRecord& record) { return FieldText(record.subject); }

}  // namespace velmo
