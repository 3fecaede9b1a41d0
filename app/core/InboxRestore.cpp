#include "app/core/InboxRestore.h"

#include <exception>

#include "app/resources/StringTable.h"
#include "device/MessageStore.h"

namespace velmo {

RestoreResult RestoreToInbox(BlockedMessageFile& file, std::uint32_t index, const BlockedMessageRecord& record) {
    // The device reports a message store it cannot open by throwing; to the user it is an Inbox that cannot be written.
    try {
        device::MessageStore store;
        device::EntryId inbox = store.InboxEntryId();
        return RestoreBlockedMessage(store.Interface(), static_cast<ULONG>(inbox.size()),
                                     reinterpret_cast<LPENTRYID>(inbox.data()), file, index, record);
    } catch (const std::exception&) {
        return RestoreResult::InboxUnavailable;
    }
}

unsigned RestoreFailureText(RestoreResult result) {
    switch (result) {
        case RestoreResult::Restored: return 0;
        case RestoreResult::FileChanged: return IDS_RESTORE_FILE_CHANGED;
        case RestoreResult::InboxUnavailable: return IDS_RESTORE_NO_INBOX;
        case RestoreResult::FileNotWritten: return IDS_RESTORE_FILE_NOT_WRITTEN;
    }
    return IDS_RESTORE_FILE_NOT_WRITTEN;
}

}  // namespace velmo
