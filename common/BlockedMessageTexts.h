#pragma once
// MesagesText.dat, beside Mesages.dat: the whole text of each blocked message that is longer
// than a record's subject holds, so that nothing of a long message is lost while its record
// keeps its fixed size. Each entry is a 4-byte tag, the text's length in UTF-16 units (32
// bits), a copy of the 840-byte record it belongs to, then the text; entries follow each other
// in the order they were written. An entry is written before its record, under the record
// file's lock, and entries whose records are gone are dropped when the records are purged.
// Readers stop at the first entry that is cut short or not an entry at all.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/BlockedMessageFile.h"

namespace velmo {

// At most this many units of a text are kept (a concatenated SMS has well under 40,000).
inline constexpr std::size_t kMaxWholeTextUnits = 1u << 20;

struct WholeTextEntry {
    BlockedMessageRecord record;
    std::u16string text;
};

// The companion's path for the blocked-message file at messagesPath: "Mesages.dat" gives
// "MesagesText.dat" in the same folder.
std::u16string WholeTextsPath(std::u16string_view messagesPath);

// Whether a message's whole text needs an entry: the record holds less of it than it is.
bool NeedsWholeText(const BlockedMessageRecord& record, std::u16string_view wholeText);

// Every whole entry of the companion at path, read-only; a missing file has none. False only
// when a file that is there cannot be read.
bool ReadWholeTexts(std::u16string_view path, std::vector<WholeTextEntry>& entries);

// The text of each record: the whole text of its entry when it has one (of equal records,
// the first takes the first equal entry), else what the record holds.
std::vector<std::u16string> WholeSubjects(const std::vector<BlockedMessageRecord>& records,
                                          const std::vector<WholeTextEntry>& entries);

// Appends an entry after the companion's last whole one; the caller holds the record file's lock.
bool AppendWholeText(std::u16string_view path, const BlockedMessageRecord& record, std::u16string_view text);

// Keeps only the entries whose records the blocked-message file at messagesPath holds now
// (each record keeps at most one), rewriting the companion in one step when any goes; the
// caller holds the record file's lock.
bool DropOrphanedWholeTexts(std::u16string_view messagesPath);

// Empties the companion when it is there; the caller holds the record file's lock.
bool EmptyWholeTexts(std::u16string_view path);

}  // namespace velmo
