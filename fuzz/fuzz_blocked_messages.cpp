// Arbitrary bytes as Mesages.dat: counting, reading every record, purging, appending,
// removing one record and emptying must neither crash nor reach outside the file, and a
// purge or a removal leaves whole records.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "device/Clock.h"
#include "device/Text.h"

namespace {

using velmo::BlockedMessageFile;
using velmo::BlockedMessageRecord;

constexpr std::uint64_t kDay = 86400ULL * 10'000'000ULL;
// 2026-01-01 00:00:00 UTC as a FILETIME.
constexpr std::uint64_t kBase = 134116992000000000ULL;

// One directory for the whole run, removed at exit; in memory where the system offers it,
// since every write to the file is flushed to the disk.
const char* ScratchDirectory() {
    static char dir[256] = {};
    if (dir[0] == '\0') {
        std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "velmo-fuzz-blocked-XXXXXX").string();
        if (pattern.size() >= sizeof dir || mkdtemp(pattern.data()) == nullptr) std::abort();
        std::memcpy(dir, pattern.c_str(), pattern.size() + 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        });
    }
    return dir;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

std::uint64_t FileSize(const std::filesystem::path& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    Require(!error);
    return size;
}

void ReadEvery(BlockedMessageFile& file) {
    std::uint32_t count = file.Count();
    BlockedMessageRecord record;
    for (std::uint32_t i = 0; i < count; ++i) Require(file.ReadAt(i, record));
    Require(!file.ReadAt(count, record));
}

void Exercise(const std::vector<std::uint8_t>& bytes, std::uint32_t age) {
    const std::filesystem::path path = std::filesystem::path(ScratchDirectory()) / "Mesages.dat";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    Require(out != nullptr);
    Require(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
    std::fclose(out);

    BlockedMessageFile file;
    file.SetPath(velmo::device::ToUtf16(path.string()));
    file.Open();
    Require(file.IsOpen());
    std::uint32_t count = file.Count();
    Require(4 + std::uint64_t{count} * 840 <= FileSize(path));
    ReadEvery(file);

    file.Purge(age);
    std::uint32_t kept = file.Count();
    Require(kept <= count);
    if (kept < count) Require(FileSize(path) == 4 + std::uint64_t{kept} * 840);
    ReadEvery(file);

    Require(file.Append(velmo::MakeBlockedMessageRecord(u"+1", u"text", u"name", FILETIME{1, 2})));
    Require(file.Count() == kept + 1);
    // The record just read is removed, and only it; one that is not there is refused.
    BlockedMessageRecord read;
    Require(file.ReadAt(kept / 2, read));
    Require(file.Remove(kept / 2, read) == BlockedMessageFile::RemoveResult::Removed);
    Require(file.Count() == kept && FileSize(path) == 4 + std::uint64_t{kept} * 840);
    Require(file.Remove(kept, read) == BlockedMessageFile::RemoveResult::Changed);
    file.Clear();
    Require(file.Count() == 0 && FileSize(path) == 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::uint32_t age = 0;
    if (size >= 4) std::memcpy(&age, data, sizeof age);
    velmo::device::SetNowForTesting(velmo::device::FromFileTime(kBase + 128 * kDay));
    Exercise(bytes, age);
    // The same records delivered within the last 256 days, a byte of each choosing how long ago,
    // so that a 64-day purge removes some of them from the front.
    for (std::size_t at = 4; at + 840 <= bytes.size(); at += 840) {
        std::uint64_t time = kBase + (128 - std::uint64_t{bytes[at]}) * kDay;
        std::memcpy(bytes.data() + at + 832, &time, sizeof time);
    }
    Exercise(bytes, 64 * 86400);
    return 0;
}
