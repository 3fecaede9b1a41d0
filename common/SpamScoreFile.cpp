#include "common/SpamScoreFile.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/SettingsStore.h"
#include "device/Files.h"
#include "device/RecordFile.h"

namespace velmo {

namespace {

void StoreLe(std::uint8_t* bytes, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t LoadLe(const std::uint8_t* bytes, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

}  // namespace

std::uint64_t SpamScoreKey(const BlockedMessageRecord& record) {
    std::uint8_t bytes[sizeof(BlockedMessageRecord)];
    std::memcpy(bytes, &record, sizeof bytes);
    std::uint64_t hash = 14695981039346656037ull;
    for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

namespace {

bool AppendLocked(std::u16string_view path, const BlockedMessageRecord& record, double score, bool& replaced) {
    device::RecordFile file;
    if (!file.Open(path)) return false;
    device::FileLock lock(file.Descriptor());
    std::uint64_t size = 0;
    if (!lock.Held() || !file.Size(size)) return false;
    // Another writer dropped the oldest half meanwhile: the file held here is no longer the one.
    replaced = file.WasReplaced();
    if (replaced) return false;
    std::uint8_t entry[SpamScoreRecordSize] = {};
    StoreLe(entry, SpamScoreKey(record), 8);
    StoreLe(entry + 8, std::bit_cast<std::uint32_t>(static_cast<float>(score)), 4);
    const std::uint64_t whole = size - size % SpamScoreRecordSize;
    if (whole / SpamScoreRecordSize < MaxSpamScoreRecords) {
        // A torn tail from an earlier crash is overwritten, so records stay aligned.
        return file.WriteAt(whole, entry, sizeof entry) && file.Truncate(whole + sizeof entry) && file.Flush();
    }
    const std::uint64_t keep = MaxSpamScoreRecords / 2 * SpamScoreRecordSize;
    std::vector<std::uint8_t> kept(keep + sizeof entry);
    if (file.ReadAt(whole - keep, kept.data(), keep) != keep) return false;
    std::memcpy(kept.data() + keep, entry, sizeof entry);
    return device::ReplaceFileAtomically(path, kept.data(), kept.size());
}

}  // namespace

bool AppendSpamScore(std::u16string_view path, const BlockedMessageRecord& record, double score) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        bool replaced = false;
        if (AppendLocked(path, record, score, replaced)) return true;
        if (!replaced) return false;
    }
    return false;
}

std::optional<double> FindSpamScore(std::u16string_view path, const BlockedMessageRecord& record) {
    device::MappedFile file;
    if (!file.Open(path, device::MappedFile::Mode::ReadOnly) || file.Data() == nullptr) return std::nullopt;
    const std::uint64_t key = SpamScoreKey(record);
    for (std::size_t count = file.Size() / SpamScoreRecordSize; count > 0; --count) {
        const std::uint8_t* entry = file.Data() + (count - 1) * SpamScoreRecordSize;
        if (LoadLe(entry, 8) != key) continue;
        const float score = std::bit_cast<float>(static_cast<std::uint32_t>(LoadLe(entry + 8, 4)));
        if (std::isfinite(score) && score >= 0.0F && score <= 1.0F) return score;
    }
    return std::nullopt;
}

bool SpamScoresPath(SettingsStore& settings, char16_t* path) { return settings.AppFilePath(SpamScoresFileName, path); }

}  // namespace velmo
