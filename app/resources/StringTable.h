#pragma once
// VelmoLight's string table: every text the program shows from its resources, by id.

#include <string_view>

namespace velmo {

enum StringId : unsigned {
    IDS_CAPTION = 1,          // caption of the program and of every message box
    IDS_ACTION_CHOICES = 5,   // the default-action entries, separated by ';'
    IDS_CONTACT_FORMATS = 6,  // the name-format entries, separated by ';'
    IDS_DELETE_TIMES = 7,     // the purge-age entries, separated by ';'
    IDS_UNKNOWN = 8,
    IDS_UNDEFINED = 9,
    IDS_SWITCH_TO_USER_SETTINGS = 17,
    IDS_EMPTY_BLOCKED_QUESTION = 19,
    IDS_STATE_ACTIVE = 20,
    IDS_STATE_DISABLED = 21,
    IDS_STATE_SCHEDULE = 22,
    IDS_SCHEDULE_RANGE = 23,  // "from %s to %s": start, then end time
    IDS_RESTORE = 30,         // the message view's soft key that puts the message back in the Inbox
    IDS_RESTORE_FILE_CHANGED = 31,
    IDS_RESTORE_NO_INBOX = 32,
    IDS_RESTORE_FILE_NOT_WRITTEN = 33,
    IDS_TEXT_RULE_SCOPES = 40,  // the look-in entries of a text rule, separated by ';'
    IDS_DELETE_TEXT_RULE_QUESTION = 41,
    IDS_TEXT_RULE_NO_PATTERN = 42,
    IDS_TEXT_RULE_BAD_PATTERN = 43,  // followed by the regular-expression library's own message
    IDS_TEXT_RULES_FULL = 44,
    IDS_TEXT_RULES_NOT_SAVED = 45,
    IDS_NO_TEXT_RULES = 46,
    IDS_EXPORT_TITLE = 50,  // the file dialogs' captions and their one file type
    IDS_IMPORT_TITLE = 51,
    IDS_EXPORT_FILE_TYPE = 52,
    IDS_EXPORTED = 53,      // followed by the file's name
    IDS_NOT_EXPORTED = 54,  // followed by why
    IDS_IMPORT_HOW = 55,    // the question of the two import buttons
    IDS_IMPORT_MERGE = 56,
    IDS_IMPORT_REPLACE = 57,
    IDS_NOT_IMPORTED = 58,  // followed by why
    IDS_IMPORTED = 59,      // followed by what was imported
    IDS_SPAM_CHOICES = 60,  // the spam-action entries, separated by ';'
    IDS_JUDGED_SPAM = 61,   // "%s": the score
    IDS_EXPORT_NO_NAME = 62,
    IDS_EXPORT_REPLACE_QUESTION = 63,  // "%s": the file's name
};

// The text of string id, or an empty view when the table has no such string.
std::u16string_view LoadStringResource(unsigned id);

}  // namespace velmo
