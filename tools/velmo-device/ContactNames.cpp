#include <algorithm>
#include <memory>
#include <string>

#include "app/core/ContactNameFormat.h"
#include "app/core/ContactSource.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ContactSnapshotCache.h"
#include "device/Text.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

// One row of the device's contact snapshot, as the contact list reads a contact.
class SnapshotItem : public ContactItem {
public:
    SnapshotItem(const device::ContactSnapshot& contacts, std::size_t row) : contacts_(contacts), row_(row) {}

    bool Oid(std::int32_t& oid) override {
        oid = contacts_.Oid(row_);
        return true;
    }

    std::u16string Field(ContactField field) override {
        return std::u16string(contacts_.Field(row_, DeviceField(field)));
    }

private:
    static device::ContactField DeviceField(ContactField field) {
        switch (field) {
            case ContactField::FirstName: return device::ContactField::FirstName;
            case ContactField::LastName: return device::ContactField::LastName;
            case ContactField::FileAs: return device::ContactField::FileAs;
            case ContactField::CompanyName: return device::ContactField::CompanyName;
            case ContactField::MobileTelephoneNumber: return device::ContactField::MobileTelephoneNumber;
            case ContactField::BusinessTelephoneNumber: return device::ContactField::BusinessTelephoneNumber;
            case ContactField::Business2TelephoneNumber: return device::ContactField::Business2TelephoneNumber;
            case ContactField::HomeTelephoneNumber: return device::ContactField::HomeTelephoneNumber;
            case ContactField::Home2TelephoneNumber: return device::ContactField::Home2TelephoneNumber;
            case ContactField::CarTelephoneNumber: return device::ContactField::CarTelephoneNumber;
            case ContactField::RadioTelephoneNumber: return device::ContactField::RadioTelephoneNumber;
            case ContactField::Email1Address: return device::ContactField::Email1Address;
            case ContactField::Email2Address: return device::ContactField::Email2Address;
            case ContactField::Email3Address: return device::ContactField::Email3Address;
        }
        return device::ContactField::FirstName;
    }

    const device::ContactSnapshot& contacts_;
    std::size_t row_;
};

}  // namespace

std::string ContactListName(std::int32_t oid) {
    std::shared_ptr<const device::ContactSnapshot> contacts;
    try {
        device::ContactSnapshotCache::Instance().Connect();
        contacts = device::ContactSnapshotCache::Instance().Current();
    } catch (const std::exception&) {
        return {};
    }
    for (std::size_t row = 0; row < contacts->Size(); ++row) {
        if (contacts->Oid(row) != oid) continue;
        SettingsStore settings;
        SnapshotItem item(*contacts, row);
        return device::ToUtf8(FormatContactName(item, settings.GetContactFormat()));
    }
    return {};
}

std::string ActionText(std::int32_t action) {
    switch (action) {
        case Accept: return "Accept";
        case Dismiss: return "Dismiss";
        case SilentAccept: return "Silent accept";
    }
    return "none (stored " + std::to_string(action) + ")";
}

}  // namespace velmo::cli
