#include "app/core/ContactNameFormat.h"

#include "common/Types.h"

namespace velmo {

namespace {

// Tried in this order when the format yields no name. The e-mail addresses come last, so
// that a contact known only by its address is not listed as a blank row.
constexpr ContactField kFallbacks[] = {
    ContactField::FileAs,
    ContactField::CompanyName,
    ContactField::MobileTelephoneNumber,
    ContactField::BusinessTelephoneNumber,
    ContactField::Business2TelephoneNumber,
    ContactField::HomeTelephoneNumber,
    ContactField::Home2TelephoneNumber,
    ContactField::CarTelephoneNumber,
    ContactField::RadioTelephoneNumber,
    ContactField::Email1Address,
    ContactField::Email2Address,
    ContactField::Email3Address,
};

std::u16string JoinNames(const std::u16string& first, const std::u16string& second, std::u16string_view separator) {
    std::u16string result = first;
    if (!second.empty()) {
        if (!result.empty()) result += separator;
        result += second;
    }
    return result;
}

std::u16string ApplyFormat(ContactItem& contact, std::int32_t format) {
    if (format == LastOnly) return contact.Field(ContactField::LastName);
    // Both names are read, first name first, whatever the order they are shown in.
    std::u16string first = contact.Field(ContactField::FirstName);
    std::u16string last = contact.Field(ContactField::LastName);
    std::u16string_view separator = (format == LastFirst || format == FirstLast) ? u" " : u", ";
    if (format == LastFirst || format == LastCommaFirst) return JoinNames(last, first, separator);
    return JoinNames(first, last, separator);
}

std::u16string Fallback(ContactItem& contact) {
    for (ContactField field : kFallbacks) {
        std::u16string text = contact.Field(field);
        if (!text.empty()) return text;
    }
    return {};
}

// Cuts a name to kMaxDisplayName units, the last of them an ellipsis, without splitting
// a surrogate pair.
void LimitLength(std::u16string& name) {
    if (name.size() <= kMaxDisplayName) return;
    std::size_t keep = kMaxDisplayName - 1;
    if (name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
    name.resize(keep);
    name += u'\u2026';
}

}  // namespace

std::u16string FormatContactName(ContactItem& contact, std::int32_t contactFormat) {
    std::u16string name = ApplyFormat(contact, contactFormat);
    if (name.empty()) name = Fallback(contact);
    LimitLength(name);
    return name;
}

}  // namespace velmo
