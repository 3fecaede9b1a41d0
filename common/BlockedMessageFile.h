#pragma once
// Mesages.dat: the messages the handler dismissed, kept for the user to read. A 4-byte
// header, then 840-byte records, oldest first. The handler appends; VelmoLight reads,
// purges by age and empties. Every change is made under an exclusive lock on the file,
// and a purge that removes records rewrites the file whole, so another process never
// loses an append to it and a crash never leaves half a file.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "device/Files.h"
#include "device/RecordFile.h"
#include "device/WinTypes.h"

namespace velmo {

// One blocked message; texts are UTF-16 ended by a zero unit, the rest of each field zero.
struct BlockedMessageRecord {
    char16_t senderAddress[32];  // PR_SENDER_EMAIL_ADDRESS_W: for an SMS the sender's number
    char16_t subject[256];       // PR_SUBJECT_W: for an SMS the message text
    char16_t senderName[128];    // PR_SENDER_NAME_W
    FILETIME deliveryTime;       // PR_MESSAGE_DELIVERY_TIME, UTC, low half first
};
static_assert(sizeof(BlockedMessageRecord) == 840);
static_assert(offsetof(BlockedMessageRecord, subject) == 64);
static_assert(offsetof(BlockedMessageRecord, senderName) == 576);
static_assert(offsetof(BlockedMessageRecord, deliveryTime) == 832);
static_assert(std::endian::native == std::endian::little, "records are stored in the machine's byte order");

// A zeroed record with the texts copied in (a null text stays empty). A text longer than its
// field is cut to leave a zero unit, and never between the two halves of a surrogate pair.
BlockedMessageRecord MakeBlockedMessageRecord(const char16_t* senderAddress, const char16_t* subject,
                                              const char16_t* senderName, FILETIME deliveryTime);

// The text of a record's field: up to its zero unit, or the whole field when it has none.
template <std::size_t N>
std::u16string_view RecordText(const char16_t (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != u'\0') ++length;
    return {field, length};
}

class BlockedMessageFile {
public:
    static constexpr std::uint32_t kHeaderSize = 4;
    static constexpr std::uint32_t kRecordSize = sizeof(BlockedMessageRecord);

    BlockedMessageFile() = default;
    ~BlockedMessageFile() { Close(); }
    BlockedMessageFile(const BlockedMessageFile&) = delete;
    BlockedMessageFile& operator=(const BlockedMessageFile&) = delete;

    // Takes the file name; one that does not fit the 260-unit path leaves the path empty,
    // so that Open fails rather than open a shortened name.
    void SetPath(std::u16string_view path);
    // Opens the file, creating it when missing and writing the header when it is shorter than that.
    void Open();
    bool IsOpen() const { return file_.IsOpen(); }
    // True only when the whole record was written and flushed.
    bool Append(const BlockedMessageRecord& record);
    // The same for a message whose text may be longer than the record holds: its whole text
    // goes into the companion file first, under the same lock, so a record never lacks it.
    bool Append(const BlockedMessageRecord& record, std::u16string_view wholeText);
    // The whole text of the message of record, which the record may hold only the start of.
    std::u16string WholeSubject(const BlockedMessageRecord& record) const;
    // Whole records in the file; 0 when it is not open.
    std::uint32_t Count();
    // True when all 840 bytes of record index arrived.
    bool ReadAt(std::uint32_t index, BlockedMessageRecord& record);
    // Cuts the file back to its header.
    void Clear();
    // Removes, from the front, the records delivered more than ageSeconds before now (UTC).
    void Purge(std::uint32_t ageSeconds);

    enum class RemoveResult { Removed, Changed, Failed };
    // Takes record index out of the file, provided it still holds exactly the 840 bytes of
    // expected: Changed (and nothing written) when it does not, for the file changed since
    // the caller read it. The rest of the file is rewritten whole, as a purge does.
    RemoveResult Remove(std::uint32_t index, const BlockedMessageRecord& expected);
    // Cuts the file before its last whole record when that holds exactly the 840 bytes of
    // expected, undoing an append; a cut needs no space, so it works on a full disk. False
    // when the last record is another one, or the file cannot be cut.
    bool TakeBackLast(const BlockedMessageRecord& expected);
    // Rewrites the file whole with what change makes of its records (oldest first), under
    // the lock, so that no append is lost; change answers false to leave the file as it is.
    // False when the file could not be read or replaced, and then it is as it was.
    bool Rewrite(const std::function<bool(std::vector<BlockedMessageRecord>&)>& change);
    // Rewrite that leaves the replacement to commit, still under the lock: it is given the
    // new file written (null when change left the file as it is) and answers whether the
    // file was replaced or is to stay as it was.
    bool Rewrite(const std::function<bool(std::vector<BlockedMessageRecord>&)>& change,
                 const std::function<bool(device::ReplacementFile*)>& commit);
    // The same with each record's whole text beside it (texts[i] for records[i]); the new
    // records' texts are in the companion file before commit is called.
    bool RewriteWithTexts(
        const std::function<bool(std::vector<BlockedMessageRecord>&, std::vector<std::u16string>&)>& change,
        const std::function<bool(device::ReplacementFile*)>& commit);
    void Close() { file_.Close(); }
    // Goes up each time the object turns to a new file at its path (after a purge or a
    // restore replaced it), so that a reader can tell its view of the records is stale.
    std::uint64_t Generation() const { return generation_; }

private:
    template <typename Operation>
    bool Locked(Operation&& operation);
    bool Reopen();
    void FollowReplacement();
    bool CutToHeader();
    void DropOrphanedTexts();
    std::u16string_view Path() const;

    char16_t path_[MAX_PATH] = {};
    device::RecordFile file_;
    std::uint64_t generation_ = 0;
};

// Builds the record of a dismissed message and appends it with its whole text to the
// blocked-message file at path: what every writer of a blocked message calls.
bool AppendBlockedMessage(std::u16string_view path, const char16_t* senderAddress, const char16_t* subject,
                          const char16_t* senderName, FILETIME deliveryTime);

// The record indexes in the order the user reads them: the latest delivery time first and,
// of messages delivered at the same moment, the later arrival first. The file itself keeps
// its records in the order they arrived.
std::vector<std::uint32_t> NewestFirst(const std::vector<std::uint64_t>& deliveryTimes);
// NewestFirst of the records the file holds now; one that cannot be read sorts as the oldest.
std::vector<std::uint32_t> NewestFirst(BlockedMessageFile& file);

}  // namespace velmo
