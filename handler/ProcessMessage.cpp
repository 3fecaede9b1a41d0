#include "handler/ProcessMessage.h"

#include <new>
#include <optional>

#include "common/ComRef.h"
#include "common/FileSwitch.h"
#include "common/PhoneDigits.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "handler/Decision.h"
#include "handler/MessageActions.h"
#include "handler/SenderAddress.h"
#include "handler/SenderKey.h"
#include "handler/SenderLookup.h"
#include "handler/SpamLookup.h"
#include "handler/TextRuleLookup.h"

namespace velmo {

namespace {

// Opens the entry as the object the transport says it is: the message or the destination folder.
template <typename Interface>
HRESULT OpenEntry(IMsgStore* store, ULONG size, LPENTRYID id, ComRef<Interface>& opened) {
    if (store == nullptr) return E_POINTER;
    IUnknown* object = nullptr;
    HRESULT hr = store->OpenEntry(size, id, nullptr, 0, nullptr, &object);
    if (FAILED(hr)) return hr;
    if (object == nullptr) return MAPI_E_CALL_FAILED;
    opened.Reset(static_cast<Interface*>(object));
    return S_OK;
}

HRESULT Process(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder, LPENTRYID lpDestFolder,
                ULONG* pulEventType, MRCHANDLED* pHandled) {
    SettingsStore settings;
    // An import stopped part-way is put in place before its settings and files decide anything.
    char16_t appPath[MAX_PATH] = {};
    if (settings.GetAppPath(appPath)) FinishFileSwitch(appPath);
    const DecisionSettings decision = ReadDecisionSettings(settings);
    if (!IsFilteringActiveNow(decision, ReadLocalTimeNow())) {
        *pHandled = MRC_NOT_HANDLED;
        return S_OK;
    }
    ComRef<IMessage> message;
    HRESULT hr = OpenEntry(store, cbMsg, lpMsg, message);
    if (FAILED(hr)) return hr;
    ComRef<IMAPIFolder> folder;
    hr = OpenEntry(store, cbDestFolder, lpDestFolder, folder);
    if (FAILED(hr)) return hr;

    std::optional<double> spamScore;  // set when the spam model's judgement decided
    HRESULT unreadBook = S_OK;        // the address book's failure, when it could not be read
    const std::int32_t action = DecideAction(decision, [&] {
        const std::u16string sender = ReadSenderText(message.Get());
        std::int32_t key = UnknownSenderKey;
        unreadBook = TryResolveSenderKey(KeepDigits(ExtractSenderAddress(sender)), key);
        if (FAILED(unreadBook)) return static_cast<std::int32_t>(Accept);
        std::optional<std::u16string> text;
        const auto messageText = [&] {
            if (!text) text = ReadMessageText(message.Get());
            return *text;
        };
        // Strangers' messages may be screened by what they say; contacts keep their own action.
        if (auto ruled = LookupTextRule(key, sender, messageText)) return ruled->action;
        // A user's own rule wins over the model, and the model over the stranger's row.
        if (auto judged = LookupSpam(settings, key, messageText); judged && judged->spam) {
            spamScore = judged->score;
            return judged->action;
        }
        return LookupKeyAction(key);
    });
    if (FAILED(unreadBook)) {
        // An address book that cannot be read is no empty one: the sender may be a contact
        // whose message no stranger's action must take, so the transport keeps it, told why.
        *pHandled = MRC_NOT_HANDLED;
        return unreadBook;
    }
    switch (action) {
        case Dismiss:
            return DismissMessage(settings, message.Get(), folder.Get(), cbMsg, lpMsg, pulEventType, pHandled,
                                  spamScore);
        case SilentAccept:
            return SilentAcceptMessage(settings, message.Get(), folder.Get(), cbMsg, lpMsg, pulEventType, pHandled);
        default:
            // Accept, and any number a damaged ContactsInfo.dat entry or a hand-edited
            // "DefActionType" holds: the message is left to the transport.
            *pHandled = MRC_NOT_HANDLED;
            break;
    }
    return S_OK;
}

}  // namespace

HRESULT ProcessMessage(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder, LPENTRYID lpDestFolder,
                       ULONG* pulEventType, MRCHANDLED* pHandled) {
    if (pulEventType == nullptr || pHandled == nullptr) return E_POINTER;
    // The transport's thread must never unwind through the handler.
    try {
        return Process(store, cbMsg, lpMsg, cbDestFolder, lpDestFolder, pulEventType, pHandled);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace velmo
