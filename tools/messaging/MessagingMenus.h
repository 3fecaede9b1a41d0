#pragma once
// The soft keys and menus of the Messaging screen, its message view and its compose screen.

#include "app/resources/MenuTable.h"

namespace velmo::messaging {

enum MessagingCommand : unsigned {
    kCommandDone = 131,  // the title bar's "ok" and Escape end a screen with this command
    kCommandOpen = 33001,
    kCommandReply,
    kCommandToggleRead,
    kCommandDelete,
    kCommandBlock,
    kCommandNew,
    kCommandInbox,
    kCommandSent,
    kCommandOutbox,
    kCommandSend,
    kCommandCancel,
    kCommandRetry,
};

// "Delete" and "Menu" above the list of messages.
const MenuResource& ListMenu();
// "Reply" and "Menu" under one message.
const MenuResource& MessageMenu();
// "Send" and "Cancel" under a message being written.
const MenuResource& ComposeMenu();
// "Delete" and "Done" under one's own message, sent or in the Outbox.
const MenuResource& OwnMessageMenu();

}  // namespace velmo::messaging
