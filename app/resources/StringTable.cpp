#include "app/resources/StringTable.h"

#include "app/resources/MenuTable.h"

namespace velmo {

namespace {

struct StringEntry {
    unsigned id;
    std::u16string_view text;
};

// The texts stand exactly as the product shows them: the second letter of "Aсcept" is
// the Cyrillic es, and "shedule" in the menu is spelled as users know it.
constexpr StringEntry kStrings[] = {
    {IDS_CAPTION, u"VelmoLight"},
    {IDS_ACTION_CHOICES, u"A\u0441cept;Silent accept;Dismiss;"},
    {IDS_CONTACT_FORMATS,
     u"<LastName> <First Name>;<First Name> <LastName>;<LastName>;<LastName>, <FirstName>;<FirstName>, <LastName>;"},
    {IDS_DELETE_TIMES, u"1 day;3 days;1 week;2 weeks;1 month;"},
    {IDS_UNKNOWN, u"Unknown"},
    {IDS_UNDEFINED, u"Undefined"},
    {IDS_SWITCH_TO_USER_SETTINGS,
     u"To change item state please switch to \"Items mode\" -> \"User settings\" from \"View\" menu."},
    {IDS_EMPTY_BLOCKED_QUESTION, u"Remove all items from blocked messages list?"},
    {IDS_STATE_ACTIVE, u"Active"},
    {IDS_STATE_DISABLED, u"Disabled"},
    {IDS_STATE_SCHEDULE, u"Schedule"},
    {IDS_SCHEDULE_RANGE, u"from %s to %s"},
    {IDS_RESTORE, kRestoreText},
    {IDS_RESTORE_FILE_CHANGED,
     u"The blocked messages list has changed since this message was opened. Nothing was restored; "
     u"open the list again and retry."},
    {IDS_RESTORE_NO_INBOX,
     u"The Inbox cannot be written. The message was not restored and stays in the blocked messages list."},
    {IDS_RESTORE_FILE_NOT_WRITTEN,
     u"The blocked messages list cannot be written. The message was not restored."},
};

}  // namespace

std::u16string_view LoadStringResource(unsigned id) {
    for (const auto& entry : kStrings) {
        if (entry.id == id) return entry.text;
    }
    return {};
}

}  // namespace velmo
