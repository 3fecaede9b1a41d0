#pragma once
// The address book as the contact list sees it: a 1-based collection of contacts, each
// with its object identifier and the text fields that name it.

#include <cstdint>
#include <memory>
#include <string>

namespace velmo {

enum class ContactField {
    FirstName,
    LastName,
    FileAs,
    CompanyName,
    MobileTelephoneNumber,
    BusinessTelephoneNumber,
    Business2TelephoneNumber,
    HomeTelephoneNumber,
    Home2TelephoneNumber,
    CarTelephoneNumber,
    RadioTelephoneNumber,
    Email1Address,
    Email2Address,
    Email3Address,
};

// One fetched contact, released when the object goes.
class ContactItem {
public:
    virtual ~ContactItem() = default;
    // The object identifier; false when it cannot be read.
    virtual bool Oid(std::int32_t& oid) = 0;
    // The field's text; empty when the field is empty or cannot be read.
    virtual std::u16string Field(ContactField field) = 0;
};

class ContactSource {
public:
    virtual ~ContactSource() = default;
    // Whether the address book could be opened at all.
    virtual bool IsOpen() const = 0;
    // Reads the address book again, so that what follows sees it as it is now.
    virtual void Refresh() = 0;
    // The number of contacts; 0 when closed or when the count cannot be read.
    virtual std::int32_t Count() = 0;
    // The contact at index 1 .. Count(), or null when it cannot be fetched.
    virtual std::unique_ptr<ContactItem> Item(std::int32_t index) = 0;
};

}  // namespace velmo
