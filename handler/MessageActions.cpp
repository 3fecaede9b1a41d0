#include "handler/MessageActions.h"

#include <algorithm>
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

bool DeleteEntry(IMAPIFolder* folder, ULONG size, LPBYTE bytes) {
    return DeleteFolderEntry(folder, size, reinterpret_cast<LPENTRYID>(bytes));
}

std::vector<BYTE> EntryIdOf(IMAPIProp* object) {
    PropValues id;
    const SPropValue* value = id.Read(object, {PR_ENTRYID}) ? id.Get(0, PR_ENTRYID) : nullptr;
    if (value == nullptr || value->Value.bin.lpb == nullptr) return {};
    return {value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb};
}

// Copies SilentCopyTags from message to copy and marks the copy read; false when any of it
// cannot be written.
bool FillSilentCopy(IMessage* message, IMessage* copy) {
    PropValues original;
    if (!original.Read(message, SilentCopyTags) ||
        FAILED(copy->SetProps(original.Count(), original.Values(), nullptr))) {
        return false;
    }
    PropValues flags;
    if (!flags.Read(copy, {PR_MESSAGE_FLAGS})) return false;
    // A message that came without flags is marked read all the same.
    const SPropValue* stored = flags.Get(0, PR_MESSAGE_FLAGS);
    SPropValue read{};
    read.ulPropTag = PR_MESSAGE_FLAGS;
    read.Value.ul = (stored != nullptr ? stored->Value.ul : 0) | MSGFLAG_READ;
    return SUCCEEDED(copy->SetProps(1, &read, nullptr));
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

void DismissMessage(SettingsStore& settings, IMessage* message, IMAPIFolder* folder, ULONG cbMsg, LPENTRYID lpMsg,
                    ULONG* pulEventType, MRCHANDLED* pHandled, std::optional<double> spamScore) {
    BlockedMessageRecord record{};
    if (!AppendBlockedRecord(settings, message, record) ||
        !DeleteEntry(folder, cbMsg, reinterpret_cast<LPBYTE>(lpMsg))) {
        *pHandled = MRC_NOT_HANDLED;
        return;
    }
    *pulEventType = fnevObjectDeleted;
    *pHandled = MRC_HANDLED_DONTCONTINUE;
    settings.SetBlockedMsg(Incremented(settings.GetBlockedMsg()));
    char16_t path[MAX_PATH] = {};
    if (spamScore && SpamScoresPath(settings, path)) AppendSpamScore(path, record, *spamScore);
}

void SilentAcceptMessage(SettingsStore& settings, IMessage* message, IMAPIFolder* folder, ULONG cbMsg, LPENTRYID lpMsg,
                         ULONG* pulEventType, MRCHANDLED* pHandled) {
    IMessage* created = nullptr;
    if (FAILED(folder->CreateMessage(nullptr, 0, &created)) || created == nullptr) {
        *pHandled = MRC_NOT_HANDLED;
        return;
    }
    ComRef<IMessage> copy(created);
    const bool filled = FillSilentCopy(message, copy.Get());
    std::vector<BYTE> copyId = EntryIdOf(copy.Get());
    copy.Reset();
    if (!filled || !DeleteEntry(folder, cbMsg, reinterpret_cast<LPBYTE>(lpMsg))) {
        // The copy goes again: the message stays in its folder as it came, and only once.
        if (!copyId.empty()) DeleteEntry(folder, static_cast<ULONG>(copyId.size()), copyId.data());
        *pHandled = MRC_NOT_HANDLED;
        return;
    }
    *pulEventType = SilentAcceptEvents;
    *pHandled = MRC_HANDLED_DONTCONTINUE;
    settings.SetSilentMsg(Incremented(settings.GetSilentMsg()));
}

}  // namespace velmo
