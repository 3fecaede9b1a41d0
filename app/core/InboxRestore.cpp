#include "app/core/InboxRestore.h"

#include <exception>
#include <string>

#include "app/resources/StringTable.h"
#include "common/trainer/SpamLearning.h"
#include "device/MessageStore.h"

namespace velmo {

RestoreResult RestoreToInbox(BlockedMessageFile& file, std::uint32_t index, const BlockedMessageRecord& record) {
    // The device reports a message store it cannot open by throwing; to the user it is an Inbox that cannot be written.
    try {
        device::MessageStore store;
        device::EntryId inbox = store.InboxEntryId();
        const RestoreResult result =
            RestoreBlockedMessage(store.Interface(), static_cast<ULONG>(inbox.size()),
                                  reinterpret_cast<LPENTRYID>(inbox.data()), file, index, record);
        // A restored message is ham to the spam filter; the restore stands whatever the lesson's fate.
        std::string error;
        if (result == RestoreResult::Restored) LearnFromUser(false, RecordText(record.subject), error);
        return result;
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
