#include "app/resources/MenuTable.h"

namespace velmo {

namespace {

constexpr MenuItem kProgramState[] = {
    {u"Active", IDM_STATE_ACTIVE, {}},
    {u"Active by shedule", IDM_STATE_BY_SCHEDULE, {}},
    {u"Disabled", IDM_STATE_DISABLED, {}},
};
constexpr MenuItem kItemsMode[] = {
    {u"User Settings", IDM_MODE_USER_SETTINGS, {}},
    {u"Accept All", IDM_MODE_ACCEPT_ALL, {}},
    {u"Silent Accept All", IDM_MODE_SILENT_ACCEPT_ALL, {}},
    {u"Dismiss All", IDM_MODE_DISMISS_ALL, {}},
};
constexpr MenuItem kView[] = {
    {u"Program State", 0, kProgramState},
    {u"Items Mode", 0, kItemsMode},
    {u"Exit", IDM_EXIT, {}},
};
constexpr MenuItem kOptions[] = {
    {u"Blocked Messages...", IDM_BLOCKED_MESSAGES, {}},
    {u"", 0, {}},
    {u"Schedule settings...", IDM_SCHEDULE, {}},
    {u"Options...", IDM_OPTIONS, {}},
    {u"Text rules...", IDM_TEXT_RULES, {}},
    {u"", 0, {}},
    {u"Export...", IDM_EXPORT, {}},
    {u"Import...", IDM_IMPORT, {}},
    {u"", 0, {}},
    {u"About...", IDM_ABOUT, {}},
};
constexpr MenuItem kMainBar[] = {
    {u"View", 0, kView},
    {u"Options", 0, kOptions},
};
constexpr MenuItem kDoneBar[] = {{u"Done", IDM_DONE, {}}};
constexpr MenuItem kOkCancelBar[] = {{u"OK", IDM_OK, {}}, {u"Cancel", IDM_CANCEL, {}}};
constexpr MenuItem kDoneEmptyBar[] = {{u"Done", IDM_DONE, {}}, {u"Empty", IDM_EMPTY, {}}};
constexpr MenuItem kDoneRestoreBar[] = {{u"Done", IDM_DONE, {}}, {kRestoreText, IDM_RESTORE, {}}};
constexpr MenuItem kTextRuleCommands[] = {
    {u"New...", IDM_RULE_NEW, {}},      {u"Edit...", IDM_RULE_EDIT, {}},
    {u"Delete", IDM_RULE_DELETE, {}},   {u"", 0, {}},
    {u"Move up", IDM_RULE_MOVE_UP, {}}, {u"Move down", IDM_RULE_MOVE_DOWN, {}},
};
constexpr MenuItem kTextRulesBar[] = {{u"Done", IDM_DONE, {}}, {u"Menu", 0, kTextRuleCommands}};

constexpr MenuResource kMenus[] = {
    {IDR_ABOUT_MENU, kDoneBar},
    {IDR_OPTIONS_MENU, kOkCancelBar},
    {IDR_SCHEDULE_MENU, kOkCancelBar},
    {IDR_BLOCKED_LIST_MENU, kDoneEmptyBar},
    {IDR_MAIN_MENU, kMainBar},
    {IDR_BLOCKED_MESSAGE_MENU, kDoneBar},
    {IDR_BLOCKED_MESSAGE_RESTORE_MENU, kDoneRestoreBar},
    {IDR_TEXT_RULES_MENU, kTextRulesBar},
    {IDR_TEXT_RULE_EDIT_MENU, kOkCancelBar},
    {IDR_FILE_CHOOSER_MENU, kOkCancelBar},
};

}  // namespace

const MenuResource* FindMenuResource(unsigned id) {
    for (const auto& menu : kMenus) {
        if (menu.id == id) return &menu;
    }
    return nullptr;
}

}  // namespace velmo
