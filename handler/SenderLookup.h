#pragma once
// The action the user gave a message's sender: the sender's contact key looked up in
// ContactsInfo.dat, with "DefActionType" for a key the file does not hold.

#include <cstdint>
#include <string_view>

namespace velmo {

// The stored FilterAction of the first entry of ContactsInfo.dat with the sender's key, passed on
// unchanged; "DefActionType" when the file is missing, invalid or has no such entry. Each call opens
// the address book and maps the file afresh.
std::int32_t LookupSenderAction(std::u16string_view senderDigits);

// The same for a sender whose contact key is already known.
std::int32_t LookupKeyAction(std::int32_t key);

}  // namespace velmo
