#pragma once
// The rows of the Messaging screen: one folder of the device's message store, newest first
// by delivery time, and the person's changes to a message (read mark, deletion) written
// through the store's interfaces as the platform's own messaging program makes them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/MessageStore.h"

namespace velmo::messaging {

struct MessageRow {
    device::EntryId entryId;
    std::u16string address;  // the sender's number (for a sent message, its recipient's)
    std::u16string name;     // the sender's name as the message came with it; often empty
    std::u16string text;
    std::uint64_t time = 0;  // FILETIME, UTC; 0 when the message has none
    bool read = false;
    std::u16string failure;  // why a message of the Outbox was not sent, if it was tried
};

// The folder's messages, the latest delivered first and, of messages delivered at the same
// moment, the later arrival first. Throws std::invalid_argument for a folder that is not there.
std::vector<MessageRow> LoadRows(const device::MessageStore& store, std::u16string_view folder);

// The row that holds the message, if it is still there.
std::optional<std::size_t> FindRow(const std::vector<MessageRow>& rows, const device::EntryId& message);

// Sets or clears the message's read mark, keeping its other flags; false when it cannot be written.
bool SetRead(IMsgStore* store, const device::EntryId& message, bool read);
// Deletes the message from its folder; false when it is still there.
bool DeleteMessage(IMsgStore* store, const device::EntryId& folder, const device::EntryId& message);

}  // namespace velmo::messaging
