#pragma once
// What the handler does to one incoming message on the message store: read its sender,
// dismiss it into Mesages.dat, or put a read copy in its place. A message leaves its
// folder only when what replaces it (the blocked record, the read copy) is in place, so
// no failure of the store or the disk loses a message.

#include <cstdint>
#include <optional>
#include <string>

#include "common/SettingsStore.h"
#include "device/MailRuleClient.h"
#include "device/Mapi.h"

namespace velmo {

// The properties a silent copy takes over from the incoming message, in the order they are read.
// The sender's name comes last: without it the read copy would show only the number. A
// message that has none gives a copy that has none.
inline constexpr ULONG SilentCopyTags[] = {
    PR_LAST_MODIFICATION_TIME, PR_MESSAGE_CLASS_W,       PR_MESSAGE_FLAGS, PR_MESSAGE_SIZE, PR_RECIPIENT_TYPE,
    PR_SENDER_EMAIL_ADDRESS_W, PR_MESSAGE_DELIVERY_TIME, PR_SUBJECT_W,     PR_ADDRTYPE_W,   PR_SENDER_NAME_W,
};

// The event type reported for a silent accept: the copy created, the original deleted, the folder modified.
inline constexpr ULONG SilentAcceptEvents = fnevObjectCreated | fnevObjectDeleted | fnevObjectModified;

// PR_SENDER_EMAIL_ADDRESS_W of the message, whole; empty when it cannot be read.
std::u16string ReadSenderText(IMessage* message);

// PR_SUBJECT_W of the message, which holds an SMS's text, whole; empty when it cannot be read.
std::u16string ReadMessageText(IMessage* message);

// Appends the message's record to Mesages.dat, then deletes the message from folder, reports
// fnevObjectDeleted and MRC_HANDLED_DONTCONTINUE and adds one to "BlockedMsg"; S_OK. When the
// record cannot be appended, or the deletion fails (and the record is taken back out), the
// handled result is MRC_NOT_HANDLED, nothing else is written or counted, and the failure is
// answered (HRESULT_FROM_WIN32(ERROR_DISK_FULL) for a full disk). A spamScore, when the spam
// model decided, is noted in SpamScores.dat once the message is dismissed; a note that
// cannot be written changes nothing.
HRESULT DismissMessage(SettingsStore& settings, IMessage* message, IMAPIFolder* folder, ULONG cbMsg, LPENTRYID lpMsg,
                       ULONG* pulEventType, MRCHANDLED* pHandled, std::optional<double> spamScore = std::nullopt);

// Creates a read copy of the message in folder, deletes the message, reports SilentAcceptEvents and
// MRC_HANDLED_DONTCONTINUE and adds one to "SilentMsg"; S_OK. When the copy cannot be made whole or
// the message cannot be deleted, the copy is removed again, the message stays as it was, the handled
// result is MRC_NOT_HANDLED with nothing else written or counted, and the failure is answered; a
// whole copy that cannot be removed again has the message deleted after all, which finishes it.
HRESULT SilentAcceptMessage(SettingsStore& settings, IMessage* message, IMAPIFolder* folder, ULONG cbMsg,
                            LPENTRYID lpMsg, ULONG* pulEventType, MRCHANDLED* pHandled);

}  // namespace velmo
