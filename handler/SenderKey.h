#pragma once
// The contact key of a sender: the object identifier of the address-book contact that
// owns the sender's number, or one of the two keys for senders without a contact.

#include <cstdint>
#include <string_view>

namespace velmo {

// UndefinedSenderKey for empty digits (the address book is not opened); otherwise the
// first matching contact's object identifier, or UnknownSenderKey when none matches or
// the address book cannot be opened.
std::int32_t ResolveSenderKey(std::u16string_view senderDigits);

}  // namespace velmo
