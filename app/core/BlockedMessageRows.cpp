#include "app/core/BlockedMessageRows.h"

#include <algorithm>
#include <iterator>

#include "device/Text.h"
#include "device/VisibleText.h"

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

std::u16string_view SenderNumber(const BlockedMessageRecord& record) {
    return FieldText(record.senderName).empty() ? std::u16string_view() : FieldText(record.senderAddress);
}

std::u16string OneLine(std::u16string_view text) {
    std::u16string spaced;
    spaced.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        // A CR LF pair is one line break, so one space.
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        spaced.push_back(c == u'\n' || c == u'\r' || c == u'\t' ? u' ' : c);
    }
    return device::ToUtf16(device::VisibleText(device::ToUtf8(spaced)));
}

}  // namespace velmo
