#pragma once
// An address book in memory, for the failures the device's own cannot be made to give:
// one that does not open, and contacts that cannot be fetched.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/core/ContactSource.h"

namespace velmo::test {

struct FakeContact {
    std::int32_t oid = 0;
    std::map<ContactField, std::u16string> fields;
};

class FakeContactItem : public ContactItem {
public:
    explicit FakeContactItem(FakeContact contact, std::vector<ContactField>* reads = nullptr)
        : contact_(std::move(contact)), reads_(reads) {}
    bool Oid(std::int32_t& oid) override {
        oid = contact_.oid;
        return true;
    }
    std::u16string Field(ContactField field) override {
        if (reads_ != nullptr) reads_->push_back(field);
        auto found = contact_.fields.find(field);
        return found == contact_.fields.end() ? std::u16string() : found->second;
    }

private:
    FakeContact contact_;
    std::vector<ContactField>* reads_;
};

class FakeContactSource : public ContactSource {
public:
    bool open = true;
    std::vector<FakeContact> contacts;
    std::set<std::int32_t> unfetchable;  // 1-based indexes

    bool IsOpen() const override { return open; }
    // The fields above are the book as it is now.
    void Refresh() override {}
    std::int32_t Count() override { return open ? static_cast<std::int32_t>(contacts.size()) : 0; }
    std::unique_ptr<ContactItem> Item(std::int32_t index) override {
        if (!open || index < 1 || index > Count() || unfetchable.count(index) != 0) return nullptr;
        return std::make_unique<FakeContactItem>(contacts[static_cast<std::size_t>(index - 1)]);
    }
};

inline FakeContact Named(std::int32_t oid, std::u16string first, std::u16string last) {
    FakeContact contact{oid, {}};
    if (!first.empty()) contact.fields[ContactField::FirstName] = std::move(first);
    if (!last.empty()) contact.fields[ContactField::LastName] = std::move(last);
    return contact;
}

}  // namespace velmo::test
