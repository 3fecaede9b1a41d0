// The handler's walk over the address book: every contact with its six compared
// telephone fields, and a whole sender lookup whose match is the last contact.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "SixFieldWalk.h"
#include "common/ContactsConnection.h"
#include "device/ContactStore.h"
#include "handler/SenderKey.h"
#include "support/TempDevice.h"

namespace {

using velmo::device::ContactEntry;
using velmo::device::ContactField;

constexpr ContactField Compared[] = {ContactField::BusinessTelephoneNumber, ContactField::Business2TelephoneNumber,
                                     ContactField::HomeTelephoneNumber,     ContactField::Home2TelephoneNumber,
                                     ContactField::MobileTelephoneNumber,   ContactField::CarTelephoneNumber};

std::u16string Number(long contact, int field) {
    std::u16string digits = u"+1 (555) ";
    for (char c : std::to_string(1000000 + contact * 6 + field)) digits.push_back(static_cast<char16_t>(c));
    return digits;
}

// A device whose address book holds `contacts` people, each with six distinct numbers.
class AddressBookFixture {
public:
    explicit AddressBookFixture(long contacts) {
        std::vector<ContactEntry> entries(static_cast<std::size_t>(contacts));
        for (long i = 0; i < contacts; ++i) {
            auto& entry = entries[static_cast<std::size_t>(i)];
            entry[ContactField::FirstName] = u"First";
            entry[ContactField::LastName] = u"Last";
            for (int f = 0; f < 6; ++f) entry[Compared[f]] = Number(i, f);
        }
        velmo::device::ContactStore().AddAll(entries);
    }

private:
    velmo::test::TempDevice device_;
};

// The walk alone, over a connection opened once.
void BM_WalkSixPhoneFields(benchmark::State& state) {
    AddressBookFixture fixture(state.range(0));
    velmo::ContactsConnection connection;
    if (!connection.Open()) state.SkipWithError("cannot open the address book");
    for (auto _ : state) benchmark::DoNotOptimize(velmo::bench::WalkSixFields(connection));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WalkSixPhoneFields)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// What one message pays: open (one query of every contact), walk, close.
void BM_OpenWalkClose(benchmark::State& state) {
    AddressBookFixture fixture(state.range(0));
    for (auto _ : state) {
        velmo::ContactsConnection connection;
        connection.Open();
        benchmark::DoNotOptimize(velmo::bench::WalkSixFields(connection));
        connection.Close();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenWalkClose)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ResolveSenderKeyMatchLast(benchmark::State& state) {
    long contacts = state.range(0);
    AddressBookFixture fixture(contacts);
    std::u16string sender;
    for (char16_t c : Number(contacts - 1, 5)) {
        if (c >= u'0' && c <= u'9') sender.push_back(c);
    }
    if (velmo::ResolveSenderKey(sender) != contacts) state.SkipWithError("the last contact did not match");
    for (auto _ : state) benchmark::DoNotOptimize(velmo::ResolveSenderKey(sender));
}
BENCHMARK(BM_ResolveSenderKeyMatchLast)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
