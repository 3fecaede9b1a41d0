#pragma once
// The contact key of a sender: the object identifier of the address-book contact that
// owns the sender's number, or one of the two keys for senders without a contact.

#include <cstdint>
#include <string_view>

#include "device/WinTypes.h"

namespace velmo {

// UndefinedSenderKey for empty digits (the address book is not opened); otherwise the
// first matching contact's object identifier, or UnknownSenderKey when none matches or
// the address book cannot be opened.
std::int32_t ResolveSenderKey(std::u16string_view senderDigits);

// The same, but an address book that cannot be opened is no empty one: its failure is
// answered, and key is left as it was.
HRESULT TryResolveSenderKey(std::u16string_view senderDigits, std::int32_t& key);

}  // namespace velmo
