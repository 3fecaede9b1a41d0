#include "handler/MessageActions.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageMove.h"
#include "common/ComRef.h"
#include "common/PropValues.h"
#include "common/SpamScoreFile.h"

namespace velmo {

namespace {

// Counters are signed 16-bit: 32767 is followed by -32768.
std::int16_t Incremented(std::int16_t count) { return static_cast<std::int16_t>(count + 1); }

// The store's answer to deleting one message; a partial completion of a one-entry list
// means the message is still there.
HRESULT DeleteEntry(IMAPIFolder* folder, ULONG size, LPBYTE bytes) {
    SBinary entry{size, bytes};
    ENTRYLIST list{1, &entry};
    const HRESULT hr = folder->DeleteMessages(&list, 0, nullptr, 0);
    return hr == S_OK ? S_OK : FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
}

// Why Mesages.dat took no record, as the file system said it.
HRESULT AppendFailure(int error) {
    return HRESULT_FROM_WIN32(error == ENOSPC || error == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
}

std::vector<BYTE> EntryIdOf(IMAPIProp* object) {
    PropValues id;
    const SPropValue* value = id.Read(object, {PR_ENTRYID}) ? id.Get(0, PR_ENTRYID) : nullptr;
    if (value == nullptr || value->Value.bin.lpb == nullptr) return {};
    return {value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb};
}

// Copies SilentCopyTags from message to copy and marks the copy read; the failure of the
// first part that cannot be written.
HRESULT FillSilentCopy(IMessage* message, IMessage* copy) {
    PropValues original;
    if (!original.Read(message, SilentCopyTags)) return MAPI_E_CALL_FAILED;
    HRESULT hr = copy->SetProps(original.Count(), original.Values(), nullptr);
    if (FAILED(hr)) return hr;
    PropValues flags;
    if (!flags.Read(copy, {PR_MESSAGE_FLAGS})) return MAPI_E_CALL_FAILED;
    // A message that came without flags is marked read all the same.
    const SPropValue* stored = flags.Get(0, PR_MESSAGE_FLAGS);
    SPropValue read{};
    read.ulPropTag = PR_MESSAGE_FLAGS;
    read.Value.ul = (stored != nullptr ? stored->Value.ul : 0) | MSGFLAG_READ;
    hr = copy->SetProps(1, &read, nullptr);
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace

std::u16string ReadSenderText(IMessage* message) {
    PropValues sender;
    const char16_t* text =
        sender.Read(message, {PR_SENDER_EMAIL_ADDRESS_W}) ? sender.Text(0, PR_SENDER_EMAIL_ADDRESS_W) : nullptr;
    return text != nullptr ? std::u16string(text) : std::u16string();
}

std::u16string ReadMessageText(IMessage* message) {
    PropValues subject;
    const char16_t* text = subject.Read(message, {PR_SUBJECT_W}) ? subject.Text(0, PR_SUBJECT_W) : nullptr;
    return text != nullptr ? std::u16string(text) : std::u16string();
}

HRESULT DismissMessage(SettingsStore& settings, IMessage* message, IMAPIFolder* folder, ULONG cbMsg, LPENTRYID lpMsg,
                       ULONG* pulEventType, MRCHANDLED* pHandled, std::optional<double> spamScore) {
    BlockedMessageRecord record{};
    *pHandled = MRC_NOT_HANDLED;
    errno = 0;
    if (!AppendBlockedRecord(settings, message, record)) return AppendFailure(errno);
    const HRESULT deleted = DeleteEntry(folder, cbMsg, reinterpret_cast<LPBYTE>(lpMsg));
    if (FAILED(deleted)) {
        // The record goes again: the message stays in its folder, and only there.
        TakeBackBlockedRecord(settings, record);
        return deleted;
    }
    *pulEventType = fnevObjectDeleted;
    *pHandled = MRC_HANDLED_DONTCONTINUE;
    settings.SetBlockedMsg(Incremented(settings.GetBlockedMsg()));
    char16_t path[MAX_PATH] = {};
    if (spamScore && SpamScoresPath(settings, path)) AppendSpamScore(path, record, *spamScore);
    return S_OK;
}

HRESULT SilentAcceptMessage(SettingsStore& settings, IMessage* message, IMAPIFolder* folder, ULONG cbMsg,
                            LPENTRYID lpMsg, ULONG* pulEventType, MRCHANDLED* pHandled) {
    *pHandled = MRC_NOT_HANDLED;
    IMessage* created = nullptr;
    HRESULT hr = folder->CreateMessage(nullptr, 0, &created);
    if (FAILED(hr) || created == nullptr) return FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
    ComRef<IMessage> copy(created);
    const HRESULT filled = FillSilentCopy(message, copy.Get());
    std::vector<BYTE> copyId = EntryIdOf(copy.Get());
    copy.Reset();
    hr = FAILED(filled) ? filled : DeleteEntry(folder, cbMsg, reinterpret_cast<LPBYTE>(lpMsg));
    if (FAILED(hr)) {
        // The copy goes again: the message stays in its folder as it came, and only once. A
        // whole copy that cannot go is finished instead, the original going after all.
        const bool undone =
            !copyId.empty() && SUCCEEDED(DeleteEntry(folder, static_cast<ULONG>(copyId.size()), copyId.data()));
        if (undone || FAILED(filled) || FAILED(DeleteEntry(folder, cbMsg, reinterpret_cast<LPBYTE>(lpMsg)))) {
            return hr;
        }
    }
    *pulEventType = SilentAcceptEvents;
    *pHandled = MRC_HANDLED_DONTCONTINUE;
    settings.SetSilentMsg(Incremented(settings.GetSilentMsg()));
    return S_OK;
}

}  // namespace velmo
