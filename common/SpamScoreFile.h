#pragma once
// SpamScores.dat, beside Mesages.dat: the score of each message that the handler dismissed
// because its spam model judged it spam, so that the blocked-message view can say so without
// a change to Mesages.dat's records. Fixed 16-byte records, oldest first, little-endian:
//
//   0  8  key: FNV-1a (64 bits) of the message's whole 840-byte Mesages.dat record
//   8  4  score, float, 0 to 1
//  12  4  zero
//
// The handler appends under an exclusive lock; once the file holds 4,096 records the oldest
// half is dropped, for the records it keeps outlive every blocked message in practice.

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/BlockedMessageFile.h"

namespace velmo {

class SettingsStore;

inline constexpr const char16_t* SpamScoresFileName = u"SpamScores.dat";
inline constexpr std::size_t SpamScoreRecordSize = 16;
inline constexpr std::size_t MaxSpamScoreRecords = 4096;

std::uint64_t SpamScoreKey(const BlockedMessageRecord& record);

// Notes score for record in the file at path; false when it cannot be written.
bool AppendSpamScore(std::u16string_view path, const BlockedMessageRecord& record, double score);

// The score noted last for record in the file at path; none when there is none (or no file).
std::optional<double> FindSpamScore(std::u16string_view path, const BlockedMessageRecord& record);

// "AppPath" followed by SpamScores.dat into path (MAX_PATH units); false without "AppPath".
bool SpamScoresPath(SettingsStore& settings, char16_t* path);

}  // namespace velmo
