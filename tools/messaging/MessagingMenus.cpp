#include "tools/messaging/MessagingMenus.h"

namespace velmo::messaging {

namespace {

constexpr MenuItem kFolders[] = {
    {u"Inbox", kCommandInbox, {}},
    {u"Sent", kCommandSent, {}},
    {u"Outbox", kCommandOutbox, {}},
};
constexpr MenuItem kListCommands[] = {
    {u"Open", kCommandOpen, {}},
    {u"Reply", kCommandReply, {}},
    {u"Mark as unread", kCommandToggleRead, {}},
    {u"Delete", kCommandDelete, {}},
    {u"Move to blocked messages", kCommandBlock, {}},
    {u"", 0, {}},
    {u"Folders", 0, kFolders},
    {u"New...", kCommandNew, {}},
    {u"Send again", kCommandRetry, {}},
};
constexpr MenuItem kListBar[] = {{u"Delete", kCommandDelete, {}}, {u"Menu", 0, kListCommands}};
constexpr MenuItem kMessageCommands[] = {
    {u"Reply", kCommandReply, {}},
    {u"Mark as unread", kCommandToggleRead, {}},
    {u"Delete", kCommandDelete, {}},
    {u"Move to blocked messages", kCommandBlock, {}},
    {u"", 0, {}},
    {u"Done", kCommandDone, {}},
};
constexpr MenuItem kMessageBar[] = {{u"Reply", kCommandReply, {}}, {u"Menu", 0, kMessageCommands}};
// One's own message, sent or waiting: nothing to answer, nothing unread.
constexpr MenuItem kOwnMessageBar[] = {{u"Delete", kCommandDelete, {}}, {u"Done", kCommandDone, {}}};
constexpr MenuItem kComposeBar[] = {{u"Send", kCommandSend, {}}, {u"Cancel", kCommandCancel, {}}};

// Beyond VelmoLight's own menu resources.
constexpr MenuResource kListMenu{40001, kListBar};
constexpr MenuResource kMessageMenu{40002, kMessageBar};
constexpr MenuResource kComposeMenu{40003, kComposeBar};
constexpr MenuResource kOwnMessageMenu{40004, kOwnMessageBar};

}  // namespace

const MenuResource& ListMenu() { return kListMenu; }
const MenuResource& MessageMenu() { return kMessageMenu; }
const MenuResource& ComposeMenu() { return kComposeMenu; }
const MenuResource& OwnMessageMenu() { return kOwnMessageMenu; }

}  // namespace velmo::messaging
