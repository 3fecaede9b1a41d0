#pragma once
// The contact list's view of the device's address book, through ContactsConnection.

#include "app/core/ContactSource.h"
#include "common/ContactsConnection.h"

namespace velmo {

// The contact as the contact list reads it; the item takes over the reference.
std::unique_ptr<ContactItem> WrapContact(IContact* contact);

class PoomContactSource : public ContactSource {
public:
    // Opens the connection; a failure leaves an empty source (IsOpen false).
    PoomContactSource();
    ~PoomContactSource() override;

    bool IsOpen() const override { return open_; }
    void Refresh() override;
    std::int32_t Count() override;
    std::unique_ptr<ContactItem> Item(std::int32_t index) override;
    void Close();

private:
    ContactsConnection connection_;
    bool open_ = false;
};

}  // namespace velmo
