// Mesages.dat: the application's purge of a large file and the handler's append.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "common/BlockedMessageFile.h"
#include "device/Clock.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

constexpr std::uint64_t kSecond = 10'000'000;
constexpr std::uint64_t kDay = 86400 * kSecond;

// The bytes of a Mesages.dat holding `records` records a minute apart, the last delivered at `newest`.
std::vector<std::uint8_t> FileOf(std::uint64_t records, std::uint64_t newest) {
    std::vector<std::uint8_t> bytes(4 + records * 840);
    for (std::uint64_t i = 0; i < records; ++i) {
        FILETIME delivered = device::Split(newest - (records - 1 - i) * 60 * kSecond);
        BlockedMessageRecord record =
            MakeBlockedMessageRecord(u"+4915112345678", u"A message that nobody wanted to read", u"", delivered);
        std::memcpy(bytes.data() + 4 + i * 840, &record, sizeof record);
    }
    return bytes;
}

constexpr std::uint64_t kRecords = 100000;

// Mesages.dat of 100,000 records, the older half beyond the age, with the device's clock set
// to their newest; file is given the path but not opened.
struct HalfOldFile {
    HalfOldFile() {
        device::SetNowForTesting(device::FromFileTime(now));
        file.SetPath(device::ToUtf16(path.string()));
    }
    ~HalfOldFile() { device::SetNowForTesting(std::nullopt); }

    test::TempDevice device;
    std::filesystem::path path = device.Root() / "Mesages.dat";
    std::uint64_t now = device::ToFileTime(device::Now());
    std::vector<std::uint8_t> bytes = FileOf(kRecords, now);
    // Half of the records are younger than this age.
    std::uint32_t age = static_cast<std::uint32_t>(kRecords / 2 * 60 - 30);
    BlockedMessageFile file;
};

// 100,000 records, the older half beyond the age: one read, one atomic rewrite of the kept half.
void BM_PurgeHalfOf100000(benchmark::State& state) {
    HalfOldFile half;
    BlockedMessageFile& file = half.file;
    for (auto _ : state) {
        state.PauseTiming();
        file.Close();
        test::WriteFileBytes(half.path, half.bytes);
        file.Open();
        state.ResumeTiming();
        file.Purge(half.age);
        if (file.Count() != kRecords / 2) state.SkipWithError("the purge kept the wrong records");
    }
}
BENCHMARK(BM_PurgeHalfOf100000)->Unit(benchmark::kMillisecond);

// P4: the same purge divided by writing the kept bytes to a new file with fsync, the least a
// crash-safe rewrite costs, on the wall clock as both wait for the disk (counter P4, goal 1.5 or less).
void BM_P4_PurgeOverKeptWrite(benchmark::State& state) {
    HalfOldFile half;
    BlockedMessageFile& file = half.file;
    const std::size_t keptBytes = 4 + kRecords / 2 * 840;
    auto copy = half.device.Root() / "kept.dat";
    std::vector<double> purge, floor;
    for (auto _ : state) {
        state.PauseTiming();
        file.Close();
        test::WriteFileBytes(half.path, half.bytes);
        file.Open();
        floor.push_back(bench::MedianSeconds<bench::WallClock>(
            [&] {
                int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                bool ok = fd >= 0 && ::write(fd, half.bytes.data() + half.bytes.size() - keptBytes, keptBytes) ==
                                         static_cast<ssize_t>(keptBytes);
                ok = fd >= 0 && ::fsync(fd) == 0 && ok;
                if (fd >= 0) ::close(fd);
                if (!ok) state.SkipWithError("cannot write the kept bytes");
            },
            1));
        std::filesystem::remove(copy);
        state.ResumeTiming();
        purge.push_back(bench::MedianSeconds<bench::WallClock>([&] { file.Purge(half.age); }, 1));
        if (file.Count() != kRecords / 2) state.SkipWithError("the purge kept the wrong records");
    }
    state.counters["floor_ms"] = bench::Median(floor) * 1e3;
    state.counters["P4"] = bench::Median(purge) / bench::Median(floor);
}
BENCHMARK(BM_P4_PurgeOverKeptWrite)->Unit(benchmark::kMillisecond)->Iterations(9);

// A purge with nothing to remove reads the file and writes nothing.
void BM_PurgeNothingOf100000(benchmark::State& state) {
    test::TempDevice device;
    auto path = device.Root() / "Mesages.dat";
    test::WriteFileBytes(path, FileOf(100000, device::ToFileTime(device::Now())));
    BlockedMessageFile file;
    file.SetPath(device::ToUtf16(path.string()));
    file.Open();
    for (auto _ : state) file.Purge(365 * 86400);
}
BENCHMARK(BM_PurgeNothingOf100000)->Unit(benchmark::kMillisecond);

// What the handler does for each dismissed message: open, append (written through), close.
void BM_AppendPerMessage(benchmark::State& state) {
    test::TempDevice device;
    std::u16string path = device::ToUtf16((device.Root() / "Mesages.dat").string());
    BlockedMessageRecord record = MakeBlockedMessageRecord(u"+4915112345678", u"Text", u"Name", FILETIME{});
    for (auto _ : state) {
        BlockedMessageFile file;
        file.SetPath(path);
        file.Open();
        if (!file.Append(record)) state.SkipWithError("Append failed");
    }
}
BENCHMARK(BM_AppendPerMessage)->Unit(benchmark::kMicrosecond);

}  // namespace
