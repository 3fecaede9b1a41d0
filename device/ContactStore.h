#pragma once
// The device's contact store: contacts.db in the device root, behind the address-book
// interfaces (Poom.h) and the command line. Each contact has a stable 32-bit object
// identifier, from 1 upwards in order of entry and never reused after a removal; the
// collection lists contacts in that order. Errors throw std::runtime_error.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/WinTypes.h"

namespace velmo::device::sqlite {
class Database;
}

namespace velmo::device {

// The text fields of a contact, in the order of the columns of contacts.db.
enum class ContactField : std::size_t {
    FirstName,
    LastName,
    FileAs,
    CompanyName,
    BusinessTelephoneNumber,
    Business2TelephoneNumber,
    HomeTelephoneNumber,
    Home2TelephoneNumber,
    MobileTelephoneNumber,
    CarTelephoneNumber,
    RadioTelephoneNumber,
    BusinessFaxNumber,
    HomeFaxNumber,
    PagerNumber,
    Email1Address,
    Email2Address,
    Email3Address,
};
constexpr std::size_t ContactFieldCount = 17;

// Short name of a field, as the command line shows and takes it ("mobile", "home-fax").
std::string_view ContactFieldName(ContactField field);

// One contact's fields; an empty string is an empty field.
struct ContactEntry {
    std::array<std::u16string, ContactFieldCount> fields;

    std::u16string& operator[](ContactField field) { return fields[static_cast<std::size_t>(field)]; }
    const std::u16string& operator[](ContactField field) const { return fields[static_cast<std::size_t>(field)]; }
    bool Empty() const;
};

// Every contact as read by one query, its text kept in one buffer so that a walk over
// thousands of contacts costs no allocation per field.
class ContactSnapshot {
public:
    std::size_t Size() const { return oids_.size(); }
    LONG Oid(std::size_t row) const { return oids_[row]; }
    std::u16string_view Field(std::size_t row, ContactField field) const;

private:
    friend class ContactStore;
    std::vector<LONG> oids_;
    std::vector<std::uint32_t> starts_;  // ContactFieldCount per row, then the end of the text
    std::u16string text_;
};

class ContactStore {
public:
    // Whether opening may create the address book. Only adding contacts creates it: a
    // reader that created a missing book would take it for an empty one.
    enum class Open { CreateIfMissing, ExistingOnly };

    // Opens contacts.db in the device root, creating the root, the file and its table
    // when missing and allowed; write-ahead log and a busy timeout, so several processes
    // share it. Without the file and with ExistingOnly it throws, creating nothing.
    explicit ContactStore(Open open = Open::CreateIfMissing);
    // Opens an existing contacts.db without writing to it; a device without one has no
    // contacts. Only Load may be called.
    struct ReadOnlyTag {};
    static constexpr ReadOnlyTag ReadOnly{};
    explicit ContactStore(ReadOnlyTag);
    ~ContactStore();
    ContactStore(const ContactStore&) = delete;
    ContactStore& operator=(const ContactStore&) = delete;

    LONG Add(const ContactEntry& contact);
    // All in one transaction: every contact is added, or none.
    std::vector<LONG> AddAll(std::span<const ContactEntry> contacts);
    // False when no contact has that identifier.
    bool Remove(LONG oid);
    // Removes every contact and answers how many there were; identifiers stay used.
    int Clear();
    ContactSnapshot Load() const;
    // Changes whenever another connection, of this process or another, has committed to
    // contacts.db since this connection last asked.
    long long DataVersion() const;

    // Whether the device has an address book at all.
    static bool Exists();

private:
    std::unique_ptr<sqlite::Database> db_;
};

}  // namespace velmo::device
