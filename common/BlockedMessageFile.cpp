#include "common/BlockedMessageFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "common/BlockedMessageTexts.h"
#include "common/FileSwitch.h"
#include "device/Clock.h"
#include "device/Files.h"
#include "device/Text.h"

namespace velmo {

namespace {

// Nothing reads the header; it only has to be there.
constexpr std::uint8_t kHeader[BlockedMessageFile::kHeaderSize] = {};
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTimeOffset = offsetof(BlockedMessageRecord, deliveryTime);
// Each retry means another process replaced the file in the moment before the lock was taken.
constexpr int kMaxLockAttempts = 1000;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

template <std::size_t N>
void CopyText(char16_t (&field)[N], const char16_t* text) {
    if (text == nullptr) return;
    std::size_t length = 0;
    while (length < N && text[length] != 0) ++length;
    if (length == N) {
        // Leave room for the zero unit, and keep a surrogate pair whole or not at all.
        length = N - 1;
        if (IsHighSurrogate(text[length - 1]) && IsLowSurrogate(text[length])) --length;
    }
    std::copy(text, text + length, field);
}

}  // namespace

BlockedMessageRecord MakeBlockedMessageRecord(const char16_t* senderAddress, const char16_t* subject,
                                              const char16_t* senderName, FILETIME deliveryTime) {
    BlockedMessageRecord record{};
    CopyText(record.senderAddress, senderAddress);
    CopyText(record.subject, subject);
    CopyText(record.senderName, senderName);
    record.deliveryTime = deliveryTime;
    return record;
}

void BlockedMessageFile::SetPath(std::u16string_view path) {
    std::fill(std::begin(path_), std::end(path_), u'\0');
    if (path.size() < MAX_PATH) std::copy(path.begin(), path.end(), path_);
}

std::u16string_view BlockedMessageFile::Path() const { return {path_, device::Length(path_)}; }

void BlockedMessageFile::Open() {
    if (!file_.Open(Path())) return;
    Locked([this] {
        std::uint64_t size = 0;
        if (!file_.Size(size)) return false;
        return size >= kHeaderSize || (file_.WriteAt(0, kHeader, kHeaderSize) && file_.Flush());
    });
}

// Runs operation under the exclusive lock of the file that the path names now. A purge in
// another process may have replaced the file since it was opened; its lock then guards a
// file that nobody uses any more, so the new file is opened and locked instead.
template <typename Operation>
bool BlockedMessageFile::Locked(Operation&& operation) {
    for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
        if (!file_.IsOpen()) return false;
        {
            device::FileLock lock(file_.Descriptor());
            if (!lock.Held()) return false;
            // A change to the file that an interrupted import is yet to switch in would be lost.
            FinishFileSwitch(DirectoryOf(Path()));
            if (!file_.WasReplaced()) return operation();
        }
        if (!Reopen()) return false;
    }
    return false;
}

bool BlockedMessageFile::Reopen() {
    ++generation_;
    return file_.Open(Path());
}

void BlockedMessageFile::FollowReplacement() {
    if (file_.IsOpen() && file_.WasReplaced()) Reopen();
}

bool BlockedMessageFile::CutToHeader() {
    return file_.WriteAt(0, kHeader, kHeaderSize) && file_.Truncate(kHeaderSize) && file_.Flush();
}

bool BlockedMessageFile::Append(const BlockedMessageRecord& record) {
    return Append(record, RecordText(record.subject));
}

bool BlockedMessageFile::Append(const BlockedMessageRecord& record, std::u16string_view wholeText) {
    return Locked([&] {
        if (NeedsWholeText(record, wholeText) && !AppendWholeText(WholeTextsPath(Path()), record, wholeText)) {
            return false;
        }
        std::uint64_t size = 0;
        if (!file_.Size(size)) return false;
        if (size < kHeaderSize && !file_.WriteAt(0, kHeader, kHeaderSize)) return false;
        // Whole records only: a torn earlier append is written over, so every record stays on its boundary.
        std::uint64_t records = size < kHeaderSize ? 0 : (size - kHeaderSize) / kRecordSize;
        return file_.WriteAt(kHeaderSize + records * kRecordSize, &record, kRecordSize) && file_.Flush();
    });
}

std::uint32_t BlockedMessageFile::Count() {
    FollowReplacement();
    std::uint64_t size = 0;
    if (!file_.Size(size) || size < kHeaderSize) return 0;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>((size - kHeaderSize) / kRecordSize, std::numeric_limits<std::uint32_t>::max()));
}

bool BlockedMessageFile::ReadAt(std::uint32_t index, BlockedMessageRecord& record) {
    FollowReplacement();
    BlockedMessageRecord read;
    if (file_.ReadAt(kHeaderSize + std::uint64_t{index} * kRecordSize, &read, kRecordSize) != kRecordSize) return false;
    record = read;
    return true;
}

std::u16string BlockedMessageFile::WholeSubject(const BlockedMessageRecord& record) const {
    std::vector<WholeTextEntry> entries;
    ReadWholeTexts(WholeTextsPath(Path()), entries);
    return WholeSubjects({record}, entries).front();
}

void BlockedMessageFile::Clear() {
    // The records go first: a companion entry left without its record is dropped by the next purge.
    Locked([this] { return CutToHeader() && EmptyWholeTexts(WholeTextsPath(Path())); });
}

// Under the lock of the file the path names now, so that an append's entry and its record
// are either both seen or neither.
void BlockedMessageFile::DropOrphanedTexts() {
    Locked([this] { return DropOrphanedWholeTexts(Path()); });
}

void BlockedMessageFile::Purge(std::uint32_t ageSeconds) {
    bool replaced = false;
    Locked([&] {
        std::uint64_t size = 0;
        if (!file_.Size(size) || size < kHeaderSize + kRecordSize) return false;
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        std::uint64_t age = std::uint64_t{ageSeconds} * kTicksPerSecond;
        std::uint64_t threshold = device::Join(now) > age ? device::Join(now) - age : 0;
        // The usual case, an oldest record still young enough, needs only its time.
        FILETIME oldest{};
        if (file_.ReadAt(kHeaderSize + kTimeOffset, &oldest, sizeof oldest) != sizeof oldest) return false;
        if (device::Join(oldest) >= threshold) return true;

        std::uint64_t count = (size - kHeaderSize) / kRecordSize;
        // Only the delivery times of the removed records are looked at, through a mapping, so
        // their bytes are never copied.
        device::MappedFile mapping;
        if (!mapping.Open(Path(), device::MappedFile::Mode::ReadOnly) ||
            mapping.Size() < kHeaderSize + count * kRecordSize) {
            return false;
        }
        std::uint64_t first = 0;
        for (; first < count; ++first) {
            FILETIME delivered{};
            std::memcpy(&delivered, mapping.Data() + kHeaderSize + first * kRecordSize + kTimeOffset, sizeof delivered);
            if (device::Join(delivered) >= threshold) break;
        }
        mapping.Close();
        if (first == 0) return true;
        if (first == count) return CutToHeader();
        // The kept records go from this file into the new one without passing through memory;
        // a torn record at the end is left behind, as every reader skips it.
        replaced = device::ReplaceFileAtomically(Path(), kHeader, kHeaderSize, file_.Descriptor(),
                                                 kHeaderSize + first * kRecordSize, (count - first) * kRecordSize);
        return replaced;
    });
    if (replaced) Reopen();
    DropOrphanedTexts();
}

bool BlockedMessageFile::Rewrite(const std::function<bool(std::vector<BlockedMessageRecord>&)>& change) {
    return Rewrite(
        change, [](device::ReplacementFile* replacement) { return replacement == nullptr || replacement->Commit(); });
}

bool BlockedMessageFile::Rewrite(const std::function<bool(std::vector<BlockedMessageRecord>&)>& change,
                                 const std::function<bool(device::ReplacementFile*)>& commit) {
    return RewriteWithTexts(
        [&](std::vector<BlockedMessageRecord>& records, std::vector<std::u16string>&) { return change(records); },
        commit);
}

bool BlockedMessageFile::RewriteWithTexts(
    const std::function<bool(std::vector<BlockedMessageRecord>&, std::vector<std::u16string>&)>& change,
    const std::function<bool(device::ReplacementFile*)>& commit) {
    bool replaced = false;
    bool done = Locked([&] {
        std::uint64_t size = 0;
        if (!file_.Size(size)) return false;
        std::uint8_t header[kHeaderSize] = {};
        if (size >= kHeaderSize && file_.ReadAt(0, header, kHeaderSize) != kHeaderSize) return false;
        // Whole records only; a torn tail goes, as in a purge.
        std::vector<BlockedMessageRecord> records(size < kHeaderSize ? 0 : (size - kHeaderSize) / kRecordSize);
        const std::size_t bytes = records.size() * kRecordSize;
        if (bytes > 0 && file_.ReadAt(kHeaderSize, records.data(), bytes) != bytes) return false;
        const std::u16string textsPath = WholeTextsPath(Path());
        std::vector<WholeTextEntry> entries;
        if (!ReadWholeTexts(textsPath, entries)) return false;
        std::vector<std::u16string> texts = WholeSubjects(records, entries);
        if (!change(records, texts)) return commit(nullptr);
        texts.resize(records.size());
        // The new records' texts join the old ones before the records change; the old ones go after.
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (NeedsWholeText(records[i], texts[i]) && !AppendWholeText(textsPath, records[i], texts[i])) return false;
        }
        device::ReplacementFile replacement(Path());
        replaced = replacement.IsOpen() && replacement.Write(header, kHeaderSize) &&
                   replacement.Write(records.data(), records.size() * kRecordSize) && commit(&replacement);
        return replaced;
    });
    if (replaced) {
        // A switch only recorded, to be done later, still needs the old records' texts.
        const bool inPlace = file_.WasReplaced();
        Reopen();
        if (inPlace) DropOrphanedTexts();
    }
    return done;
}

BlockedMessageFile::RemoveResult BlockedMessageFile::Remove(std::uint32_t index, const BlockedMessageRecord& expected) {
    RemoveResult result = RemoveResult::Failed;
    Locked([&] {
        std::uint64_t size = 0;
        if (!file_.Size(size)) return false;
        std::uint64_t count = size < kHeaderSize ? 0 : (size - kHeaderSize) / kRecordSize;
        if (index >= count) {
            result = RemoveResult::Changed;
            return false;
        }
        // The header as it stands and the whole records; a torn tail goes, as in a purge.
        std::size_t bytes = kHeaderSize + count * kRecordSize;
        std::unique_ptr<std::uint8_t[]> content(new (std::nothrow) std::uint8_t[bytes]);
        if (content == nullptr || file_.ReadAt(0, content.get(), bytes) != bytes) return false;
        std::uint8_t* removed = content.get() + kHeaderSize + std::uint64_t{index} * kRecordSize;
        if (std::memcmp(removed, &expected, kRecordSize) != 0) {
            result = RemoveResult::Changed;
            return false;
        }
        std::memmove(removed, removed + kRecordSize, content.get() + bytes - (removed + kRecordSize));
        if (!device::ReplaceFileAtomically(Path(), content.get(), bytes - kRecordSize)) return false;
        result = RemoveResult::Removed;
        return true;
    });
    if (result == RemoveResult::Removed) {
        Reopen();
        DropOrphanedTexts();
    }
    return result;
}

bool BlockedMessageFile::TakeBackLast(const BlockedMessageRecord& expected) {
    // The whole text beside it, when it has one, is dropped by the next purge as an orphan.
    return Locked([&] {
        std::uint64_t size = 0;
        if (!file_.Size(size) || size < kHeaderSize + kRecordSize) return false;
        const std::uint64_t last = kHeaderSize + (size - kHeaderSize) / kRecordSize * kRecordSize - kRecordSize;
        BlockedMessageRecord found;
        if (file_.ReadAt(last, &found, kRecordSize) != kRecordSize ||
            std::memcmp(&found, &expected, kRecordSize) != 0) {
            return false;
        }
        return file_.Truncate(last) && file_.Flush();
    });
}

bool AppendBlockedMessage(std::u16string_view path, const char16_t* senderAddress, const char16_t* subject,
                          const char16_t* senderName, FILETIME deliveryTime) {
    const BlockedMessageRecord record = MakeBlockedMessageRecord(senderAddress, subject, senderName, deliveryTime);
    BlockedMessageFile file;
    file.SetPath(path);
    file.Open();
    return file.Append(record, subject != nullptr ? std::u16string_view(subject) : std::u16string_view());
}

std::vector<std::uint32_t> NewestFirst(const std::vector<std::uint64_t>& deliveryTimes) {
    std::vector<std::uint32_t> order(deliveryTimes.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(order.size() - 1 - i);
    // Starting from the latest arrival, a stable sort keeps it ahead of its equals.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return deliveryTimes[a] > deliveryTimes[b]; });
    return order;
}

std::vector<std::uint32_t> NewestFirst(BlockedMessageFile& file) {
    std::vector<std::uint64_t> times(file.Count(), 0);
    for (std::uint32_t i = 0; i < times.size(); ++i) {
        BlockedMessageRecord record;
        if (file.ReadAt(i, record)) times[i] = device::Join(record.deliveryTime);
    }
    return NewestFirst(times);
}

}  // namespace velmo
