#include "tools/velmo-device/SenderName.h"

#include "common/ContactsConnection.h"
#include "common/PhoneDigits.h"
#include "common/SettingsStore.h"
#include "handler/SenderAddress.h"
#if VELMO_HAVE_APP
#include "app/core/ContactNameFormat.h"
#include "app/core/PoomContactSource.h"
#endif

namespace velmo::cli {

namespace {

#if VELMO_HAVE_APP
// The contact list's own name of the contact, so that a person finds the same name there.
std::u16string ContactName(std::u16string_view number) {
    const std::u16string digits = KeepDigits(ExtractSenderAddress(number));
    if (digits.empty()) return {};
    PoomContactSource source;
    if (!source.IsOpen()) return {};
    ContactsConnection lookup;
    std::int32_t key = 0;
    if (!lookup.Open() || !lookup.FindContact(digits, key)) return {};
    lookup.Close();
    SettingsStore settings;
    const std::int32_t format = settings.GetContactFormat();
    for (std::int32_t i = 1; i <= source.Count(); ++i) {
        auto item = source.Item(i);
        std::int32_t oid = 0;
        if (item && item->Oid(oid) && oid == key) return FormatContactName(*item, format);
    }
    return {};
}
#else
std::u16string ContactName(std::u16string_view) { return {}; }
#endif

}  // namespace

std::u16string SenderName(std::u16string_view number, std::u16string_view carriedName) {
    std::u16string name = ContactName(number);
    return name.empty() ? std::u16string(carriedName) : name;
}

std::u16string SenderAsShown(std::u16string_view number, std::u16string_view carriedName) {
    std::u16string name = SenderName(number, carriedName);
    return name.empty() ? std::u16string(number) : name;
}

}  // namespace velmo::cli
