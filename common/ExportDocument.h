#pragma once
// The export file: one self-describing JSON text (UTF-8) that holds the eleven settings, the
// contacts' actions of ContactsInfo.dat with each contact's name and caller-ID numbers, the
// text rules and every blocked message, so that they can be taken to another device. Reading
// checks the whole text and names the place of the first fault; nothing here touches a file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/SettingsStore.h"
#include "common/TextRuleFile.h"
#include "common/Types.h"

namespace velmo {

inline constexpr const char* ExportFormatName = "Velmo export";
inline constexpr std::int64_t ExportFormatVersion = 1;
// More contacts or blocked messages than any handheld holds: a file with more is refused as it is read.
inline constexpr std::size_t MaxExportEntries = 100000;
// An export of the fullest device is a fraction of this; a larger file is refused unread.
inline constexpr std::uintmax_t MaxExportFileBytes = 64ull << 20;

// The values of the settings key as the deliverables read them (each getter with its default).
struct ExportedSettings {
    std::optional<std::u16string> appPath;  // none when "AppPath" has never been written
    std::int16_t activeState = DefaultActiveState;
    std::int16_t itemsState = UserSettings;
    std::int16_t defActionType = Accept;
    std::int16_t contactFormat = LastFirst;
    TimeOfDay startTime = DefaultStartTime;
    TimeOfDay endTime = DefaultEndTime;
    std::uint32_t weekDays = DefaultWeekDays;
    std::int16_t deleteTimeType = DefaultDeleteTimeType;
    std::int16_t blockedMsg = 0;
    std::int16_t silentMsg = 0;
};

// One entry of ContactsInfo.dat. Object identifiers differ between address books, so a
// contact is also given by its name and by the numbers that the handler compares with a sender.
struct ExportedContact {
    std::int32_t key = 0;
    std::int32_t action = Accept;
    std::u16string name;                  // empty for the unknown and undefined senders
    std::vector<std::u16string> numbers;  // business, business 2, home, home 2, mobile, car; those set
    // For a contact with neither a name nor such a number, what else tells it apart: its
    // e-mail addresses and the text the contact list shows for it.
    std::vector<std::u16string> emails;
    std::u16string shown;
    friend bool operator==(const ExportedContact&, const ExportedContact&) = default;
};

struct ExportDocument {
    ExportedSettings settings;
    std::vector<ExportedContact> contacts;
    std::vector<TextRule> textRules;
    std::vector<BlockedMessageRecord> blockedMessages;
    // Beside blockedMessages: each message's whole text, of which its record may hold only the
    // start; messages past the end of this list have what their records hold.
    std::vector<std::u16string> blockedTexts;
};

// The file's text, members in a fixed order, so that equal documents give equal bytes.
std::string SerializeExport(const ExportDocument& document);

// Reads the whole text; false with error naming the place (line:column for a syntax fault,
// a JSON pointer such as /blockedMessages/2/subject for a value) and what is wrong. A file of
// a later format version is refused, and so is, as soon as it is read, nesting deeper than the
// format's, a member given twice, a list longer than its bound or a text longer than any field.
bool ParseExport(std::string_view text, ExportDocument& document, std::string& error);

}  // namespace velmo
