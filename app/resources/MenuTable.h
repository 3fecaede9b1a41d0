#pragma once
// VelmoLight's menu resources: each is the menu bar of one dialog, two soft keys at most,
// each either a command of its own or a popup of entries.

#include <span>
#include <string_view>

namespace velmo {

enum MenuId : unsigned {
    IDR_ABOUT_MENU = 134,
    IDR_OPTIONS_MENU = 147,
    IDR_SCHEDULE_MENU = 148,
    IDR_BLOCKED_LIST_MENU = 155,
    IDR_MAIN_MENU = 156,
    IDR_BLOCKED_MESSAGE_MENU = 158,
    IDR_BLOCKED_MESSAGE_RESTORE_MENU = 160,  // the message view with "Restore" beside "Done"
    IDR_TEXT_RULES_MENU = 171,
    IDR_TEXT_RULE_EDIT_MENU = 172,
    IDR_FILE_CHOOSER_MENU = 173,
};

enum CommandId : unsigned {
    IDM_CANCEL = 82,
    IDM_DONE = 131,  // "Done" and the main screen's "Exit" share this command
    IDM_EXIT = 131,
    IDM_ABOUT = 32774,
    IDM_OPTIONS = 32777,
    IDM_SCHEDULE = 32779,
    IDM_OK = 32771,
    IDM_STATE_ACTIVE = 32790,
    IDM_STATE_BY_SCHEDULE = 32792,
    IDM_STATE_DISABLED = 32793,
    IDM_MODE_ACCEPT_ALL = 32794,
    IDM_MODE_SILENT_ACCEPT_ALL = 32795,
    IDM_MODE_DISMISS_ALL = 32796,
    IDM_MODE_USER_SETTINGS = 32797,
    IDM_EMPTY = 32799,
    IDM_BLOCKED_MESSAGES = 32802,
    IDM_RESTORE = 32810,
    IDM_TEXT_RULES = 32820,
    IDM_RULE_NEW = 32821,
    IDM_RULE_EDIT = 32822,
    IDM_RULE_DELETE = 32823,
    IDM_RULE_MOVE_UP = 32824,
    IDM_RULE_MOVE_DOWN = 32825,
    IDM_EXPORT = 32830,
    IDM_IMPORT = 32831,
};

// The soft key's text, which the string table holds as well (IDS_RESTORE).
inline constexpr std::u16string_view kRestoreText = u"Restore";

struct MenuItem {
    std::u16string_view text;         // empty for a separator
    unsigned command = 0;             // 0 for a popup or a separator
    std::span<const MenuItem> popup;  // the entries of a popup, else empty

    bool IsSeparator() const { return text.empty(); }
    bool IsPopup() const { return !popup.empty(); }
};

struct MenuResource {
    unsigned id;
    std::span<const MenuItem> softKeys;  // left soft key first
};

// The menu resource id, or null when there is none.
const MenuResource* FindMenuResource(unsigned id);

}  // namespace velmo
