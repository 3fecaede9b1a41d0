#pragma once
// A message's sender as the phone shows it: the name of the address-book contact that owns
// the number, under the device's name format ("ContactFormat"); else the name the message
// came with; else the number. Names are looked up once per number and kept until Reload.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/ContactsConnection.h"
#include "device/ContactStore.h"

namespace velmo::messaging {

class SenderNames {
public:
    SenderNames();

    std::u16string Shown(std::u16string_view address, std::u16string_view name);
    // Reads the address book and the name format again, for contacts changed since.
    void Reload();
    // Whether the address book or the name format changed since the last Reload.
    bool Changed();

private:
    // Changes with every commit to the address book; -1 while the device has none.
    long long BookVersion();

    ContactsConnection contacts_;
    bool open_ = false;
    std::int32_t format_ = 0;
    std::unique_ptr<device::ContactStore> book_;
    long long bookVersion_ = -1;
    // By the digits of a number: the contact's formatted name, empty for none.
    std::unordered_map<std::u16string, std::u16string> byDigits_;
    // A contact's place in the collection by its key, read at the first name looked up.
    std::unordered_map<std::int32_t, int> positions_;
};

}  // namespace velmo::messaging
