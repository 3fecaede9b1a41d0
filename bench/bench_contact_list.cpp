// Loading VelmoLight's contact list: rebuilding ContactsInfo.dat from the address book,
// sorting the rows by name, saving the file and mapping it again.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "app/core/ContactList.h"
#include "app/core/NameCompare.h"
#include "app/core/PoomContactSource.h"
#include "device/ContactStore.h"
#include "support/TempDevice.h"

namespace {

using namespace velmo;

// Fills the device's address book with names that do not arrive sorted.
void FillAddressBook(int count) {
    static const char16_t* firsts[] = {u"Ann", u"bob", u"Cid", u"Dee", u"eve", u"Fay", u"Gus"};
    std::vector<device::ContactEntry> entries(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto& entry = entries[static_cast<std::size_t>(i)];
        entry[device::ContactField::FirstName] = firsts[i % 7];
        std::u16string last = u"Name";
        for (int n = (i * 7919) % 100000; n > 0; n /= 26) last += static_cast<char16_t>(u'a' + n % 26);
        entry[device::ContactField::LastName] = last;
        entry[device::ContactField::MobileTelephoneNumber] = u"+1 555 0100";
    }
    device::ContactStore().AddAll(entries);
}

// A device with "AppPath", count contacts and the contact-state file that VelmoLight loads into.
struct ListDevice {
    explicit ListDevice(int count) {
        device.InstallAppPath();
        char16_t path[ContactStateFile::kPathUnits] = {};
        settings.ContactsInfoPath(path);
        file.SetPath(path);
        FillAddressBook(count);
    }

    test::TempDevice device;
    SettingsStore settings;
    ContactStateFile file;
};

void BM_LoadContactList(benchmark::State& state) {
    ListDevice device(static_cast<int>(state.range(0)));
    PoomContactSource book;
    ContactList list(device.file, device.settings, book);
    list.Load();
    for (auto _ : state) {
        list.Load();
        benchmark::DoNotOptimize(list.RowCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadContactList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// P3: the list load of 10,000 contacts divided by reading them from contacts.db and sorting
// their display names, the least a sorted list costs, in CPU time (counter P3, goal 2 or less).
void BM_P3_LoadContactListOverReadAndSort(benchmark::State& state) {
    ListDevice device(10000);
    const double floor = bench::MedianSeconds(
        [] {
            device::ContactSnapshot contacts = device::ContactStore().Load();
            std::vector<std::u16string> names;
            names.reserve(contacts.Size());
            for (std::size_t row = 0; row < contacts.Size(); ++row) {
                names.push_back(std::u16string(contacts.Field(row, device::ContactField::FirstName)) + u" " +
                                std::u16string(contacts.Field(row, device::ContactField::LastName)));
            }
            std::stable_sort(names.begin(), names.end(),
                             [](const auto& a, const auto& b) { return CompareNoCase(a, b) < 0; });
            benchmark::DoNotOptimize(names.data());
        },
        11);
    PoomContactSource book;
    ContactList list(device.file, device.settings, book);
    list.Load();
    std::vector<double> seconds;
    for (auto _ : state) seconds.push_back(bench::MedianSeconds([&] { list.Load(); }, 1));
    state.counters["floor_cpu_ms"] = floor * 1e3;
    state.counters["P3"] = bench::Median(seconds) / floor;
}
BENCHMARK(BM_P3_LoadContactListOverReadAndSort)->Unit(benchmark::kMillisecond);

}  // namespace
