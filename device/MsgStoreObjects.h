#pragma once
// The objects behind the store's interfaces: the store, its folders and messages, each
// working directly on messages.db, so every change is stored the moment it is made.

#include <memory>

#include "device/Mapi.h"

namespace velmo::device {

class MessageDatabase;

// A new store object with one reference, on the given database.
IMsgStore* NewMsgStore(std::shared_ptr<MessageDatabase> database);

}  // namespace velmo::device
