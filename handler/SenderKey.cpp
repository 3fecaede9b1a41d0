#include "handler/SenderKey.h"

#include "common/ContactsConnection.h"
#include "common/Types.h"

namespace velmo {

std::int32_t ResolveSenderKey(std::u16string_view senderDigits) {
    std::int32_t key = UnknownSenderKey;
    return SUCCEEDED(TryResolveSenderKey(senderDigits, key)) ? key : UnknownSenderKey;
}

HRESULT TryResolveSenderKey(std::u16string_view senderDigits, std::int32_t& key) {
    if (senderDigits.empty()) {
        key = UndefinedSenderKey;
        return S_OK;
    }
    ContactsConnection connection;
    if (!connection.Open()) return FAILED(connection.OpenFailure()) ? connection.OpenFailure() : E_FAIL;
    std::int32_t found = 0;
    key = connection.FindContact(senderDigits, found) ? found : UnknownSenderKey;
    connection.Close();
    return S_OK;
}

}  // namespace velmo
