#pragma once
// Puts a blocked message back in the Inbox, as the SMS transport had stored it, at the
// user's word: it passes no rule client again and changes no counter. The message is
// written to the Inbox before its record leaves Mesages.dat, so an interruption at any
// moment leaves it in one place or both, never in neither.

#include <cstdint>
#include <functional>

#include "common/BlockedMessageFile.h"
#include "device/Mapi.h"

namespace velmo {

enum class RestoreResult {
    Restored,
    FileChanged,       // the record is no longer where the caller read it; nothing was restored
    InboxUnavailable,  // the Inbox cannot be opened or written; nothing was removed
    FileNotWritten,    // Mesages.dat cannot be rewritten; the Inbox copy was taken back
};

// The moments between the writes of a restore, for tests that stop one there.
enum class RestoreStep { MessageCreated, PropertiesStored, RecordRemoved };

// Restores record index of file, which the caller read as record, into the folder inbox of
// store. afterStep, when given, is called after each write.
RestoreResult RestoreBlockedMessage(IMsgStore* store, ULONG cbInbox, LPENTRYID inbox, BlockedMessageFile& file,
                                    std::uint32_t index, const BlockedMessageRecord& record,
                                    const std::function<void(RestoreStep)>& afterStep = {});

}  // namespace velmo
