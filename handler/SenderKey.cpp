#include "handler/SenderKey.h"

#include "common/ContactsConnection.h"
#include "common/Types.h"

namespace velmo {

std::int32_t ResolveSenderKey(std::u16string_view senderDigits) {
    if (senderDigits.empty()) return UndefinedSenderKey;
    ContactsConnection connection;
    connection.Open();  // a failed open leaves no items, so nothing is found
    std::int32_t key = 0;
    bool found = connection.FindContact(senderDigits, key);
    connection.Close();
    return found ? key : UnknownSenderKey;
}

}  // namespace velmo
