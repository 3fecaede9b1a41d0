// The handler's per-message use of ContactsInfo.dat, and the application's rebuild.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "common/ContactStateFile.h"
#include "common/Types.h"
#include "device/Text.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

constexpr std::int32_t kContacts = 10000;

// A device whose ContactsInfo.dat holds the keys 1..contacts in order.
class ContactsFixture {
public:
    explicit ContactsFixture(std::int32_t contacts)
        : path_(device::ToUtf16((device_.Root() / "ContactsInfo.dat").string())) {
        ContactStateFile file;
        file.SetPath(path_);
        file.BeginRebuild(contacts);
        for (std::int32_t key = 1; key <= contacts; ++key) file.Add(key, Dismiss);
        if (!file.Save()) throw std::runtime_error("cannot write ContactsInfo.dat");
    }
    const std::u16string& Path() const { return path_; }

private:
    test::TempDevice device_;
    std::u16string path_;
};

void FindInMappedFile(benchmark::State& state, std::int32_t key) {
    ContactsFixture fixture(kContacts);
    ContactStateFile file;
    file.SetPath(fixture.Path());
    if (!file.OpenForReading()) state.SkipWithError("cannot map the file");
    ContactRecord record;
    for (auto _ : state) {
        benchmark::DoNotOptimize(file.Find(key, record));
        benchmark::DoNotOptimize(record);
    }
}

void BM_FindLastKey(benchmark::State& state) { FindInMappedFile(state, kContacts); }
BENCHMARK(BM_FindLastKey);

void BM_FindMissingKey(benchmark::State& state) { FindInMappedFile(state, -7); }
BENCHMARK(BM_FindMissingKey);

// What the handler does for every message: map, look up, unmap.
void BM_OpenFindClosePerMessage(benchmark::State& state) {
    ContactsFixture fixture(kContacts);
    ContactRecord record;
    for (auto _ : state) {
        ContactStateFile file;
        file.SetPath(fixture.Path());
        benchmark::DoNotOptimize(file.OpenForReading());
        benchmark::DoNotOptimize(file.Find(kContacts, record));
        file.Close();
    }
}
BENCHMARK(BM_OpenFindClosePerMessage);

// The application's rebuild over an existing file of the same contacts: every Add scans
// every old entry, so this grows with the square of the address book.
void BM_RebuildOverExistingFile(benchmark::State& state) {
    auto contacts = static_cast<std::int32_t>(state.range(0));
    ContactsFixture fixture(contacts);
    ContactStateFile file;
    file.SetPath(fixture.Path());
    for (auto _ : state) {
        file.Close();
        file.BeginRebuild(contacts + 2);
        file.Add(UnknownSenderKey, Accept);
        file.Add(UndefinedSenderKey, Accept);
        for (std::int32_t key = 1; key <= contacts; ++key) file.Add(key, Accept);
        if (!file.Save()) state.SkipWithError("Save failed");
    }
}
BENCHMARK(BM_RebuildOverExistingFile)->Arg(100)->Arg(1000)->Arg(kContacts)->Unit(benchmark::kMillisecond);

}  // namespace
