#pragma once
// A message of the message store put among the blocked messages: its record appended to
// Mesages.dat under the file's lock and flushed, and only then the message deleted from its
// folder, so that no failure of the store or the disk loses it. The handler's Dismiss does
// this for a message it decides on; the device's Messaging screen and `inbox block` do it
// at the person's word, without touching the counters.

#include <cstdint>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/SettingsStore.h"
#include "device/Mapi.h"

namespace velmo {

// Builds the message's record from whatever of its sender address, text, delivery time and
// sender name it has and appends it to Mesages.dat in "AppPath", with its whole text beside
// it when that is longer; true only when the record is written and flushed.
bool AppendBlockedRecord(SettingsStore& settings, IMessage* message, BlockedMessageRecord& record);

// Takes record back out of Mesages.dat in "AppPath" when it is still the file's last one,
// for a message whose deletion failed after its record was appended; true when it is gone.
bool TakeBackBlockedRecord(SettingsStore& settings, const BlockedMessageRecord& record);

// Deletes one message from folder; false when it is still there.
bool DeleteFolderEntry(IMAPIFolder* folder, ULONG cbMsg, LPENTRYID lpMsg);

enum class BlockResult {
    Blocked,
    NotFound,     // the folder or the message cannot be opened; nothing was written
    NotAppended,  // Mesages.dat cannot be written; the message stays where it was
    NotDeleted,   // the record is in Mesages.dat, and the message is still in its folder too
};

// Opens the message by its entry identifier in the folder of store and puts it among the
// blocked messages as the handler's Dismiss does; no counter changes.
BlockResult BlockStoredMessage(SettingsStore& settings, IMsgStore* store, const std::vector<std::uint8_t>& folder,
                               const std::vector<std::uint8_t>& message);

}  // namespace velmo
