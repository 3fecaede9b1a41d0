#include "app/resources/StringTable.h"

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
};

}  // namespace

std::u16string_view LoadStringResource(unsigned id) {
    for (const auto& entry : kStrings) {
        if (entry.id == id) return entry.text;
    }
    return {};
}

}  // namespace velmo
