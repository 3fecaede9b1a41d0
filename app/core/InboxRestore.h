#pragma once
// VelmoLight's way to the device's Inbox for putting a blocked message back, and the text
// the user reads when that cannot be done.

#include <cstdint>

#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageRestore.h"

namespace velmo {

// Restores record index of file, read by the caller as record, into the device's Inbox;
// InboxUnavailable when the message store cannot be opened.
RestoreResult RestoreToInbox(BlockedMessageFile& file, std::uint32_t index, const BlockedMessageRecord& record);

// The string-table text that explains a failed restore; 0 for Restored.
unsigned RestoreFailureText(RestoreResult result);

}  // namespace velmo
