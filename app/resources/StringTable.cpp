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
    {IDS_RESTORE_FILE_NOT_WRITTEN, u"The blocked messages list cannot be written. The message was not restored."},
    {IDS_TEXT_RULE_SCOPES, u"Message text;Sender;Text or sender;"},
    {IDS_DELETE_TEXT_RULE_QUESTION, u"Delete the selected text rule?"},
    {IDS_TEXT_RULE_NO_PATTERN, u"Please enter the words or the regular expression to look for."},
    {IDS_TEXT_RULE_BAD_PATTERN, u"This pattern cannot be used:"},
    {IDS_TEXT_RULES_FULL, u"There are 64 text rules already. Delete one before adding another."},
    {IDS_TEXT_RULES_NOT_SAVED, u"The text rules could not be saved."},
    {IDS_NO_TEXT_RULES,
     u"No text rules: unknown and undefined senders get the actions of their rows.\n\n"
     u"Choose \"Menu\", \"New...\" to screen their messages by what they say."},
    {IDS_EXPORT_TITLE, u"Export to"},
    {IDS_IMPORT_TITLE, u"Import from"},
    {IDS_EXPORT_FILE_TYPE, u"Exported settings (*.json)"},
    {IDS_EXPORTED, u"The settings, the contacts' actions, the text rules and the blocked messages were exported to"},
    {IDS_NOT_EXPORTED, u"Nothing was exported:"},
    {IDS_IMPORT_HOW,
     u"Merge keeps what is on this device and adds what the file holds.\n\n"
     u"Replace leaves only the file's: other contacts start from the default action, and the text rules and the "
     u"blocked messages are the file's alone."},
    {IDS_IMPORT_MERGE, u"Merge"},
    {IDS_IMPORT_REPLACE, u"Replace"},
    {IDS_NOT_IMPORTED, u"Nothing was imported:"},
    {IDS_IMPORTED, u"Imported."},
    {IDS_SPAM_CHOICES, u"Off;Dismiss;Silent accept;"},
    {IDS_JUDGED_SPAM, u"judged spam, score %s"},
    {IDS_EXPORT_NO_NAME, u"Please enter a name for the file."},
    {IDS_EXPORT_REPLACE_QUESTION, u"%s already exists. Replace it?"},
};

}  // namespace

std::u16string_view LoadStringResource(unsigned id) {
    for (const auto& entry : kStrings) {
        if (entry.id == id) return entry.text;
    }
    return {};
}

}  // namespace velmo
