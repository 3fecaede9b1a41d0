// Loading VelmoLight's contact list: rebuilding ContactsInfo.dat from the address book,
// sorting the rows by name, saving the file and mapping it again.
#include <benchmark/benchmark.h>

#include "app/FakeContactSource.h"
#include "app/core/ContactList.h"
#include "support/TempDevice.h"

namespace {

using namespace velmo;

// Names that do not arrive sorted, in the shape of a real address book.
test::FakeContactSource MakeAddressBook(int count) {
    test::FakeContactSource book;
    static const char16_t* firsts[] = {u"Ann", u"bob", u"Cid", u"Dee", u"eve", u"Fay", u"Gus"};
    for (int i = 0; i < count; ++i) {
        std::u16string last = u"Name";
        for (int n = (i * 7919) % 100000; n > 0; n /= 26) last += static_cast<char16_t>(u'a' + n % 26);
        book.contacts.push_back(test::Named(i + 1, firsts[i % 7], last));
    }
    return book;
}

void BM_LoadContactList(benchmark::State& state) {
    test::TempDevice device;
    device.InstallAppPath();
    SettingsStore settings;
    ContactStateFile file;
    char16_t path[ContactStateFile::kPathUnits] = {};
    settings.ContactsInfoPath(path);
    file.SetPath(path);
    test::FakeContactSource book = MakeAddressBook(static_cast<int>(state.range(0)));
    ContactList list(file, settings, book);
    list.Load();
    for (auto _ : state) {
        list.Load();
        benchmark::DoNotOptimize(list.RowCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadContactList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
