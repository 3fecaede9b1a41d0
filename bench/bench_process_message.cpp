// One incoming message through the handler, against the bare walk over the address book
// that UserSettings mode pays for every message.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "SixFieldWalk.h"
#include "common/ContactsConnection.h"
#include "device/ContactStore.h"
#include "device/Text.h"
#include "support/HandlerDevice.h"

using namespace velmo;
using velmo::test::HandlerDevice;

namespace {

std::u16string Number(const char* prefix, std::int64_t n) {
    return device::ToUtf16(prefix + std::to_string(1000000 + n));
}

// contacts contacts with three numbers each; the last one owns kSender on its mobile field,
// the field a walk reaches last. ContactsInfo.dat lists every contact, all Accept.
class Device {
public:
    static constexpr const char16_t* kSender = u"+44 7700 900555";

    explicit Device(std::int64_t contacts) {
        std::vector<device::ContactEntry> entries(static_cast<std::size_t>(contacts));
        for (std::int64_t i = 0; i < contacts; ++i) {
            auto& entry = entries[static_cast<std::size_t>(i)];
            entry[device::ContactField::FirstName] = Number("Name", i);
            entry[device::ContactField::BusinessTelephoneNumber] = Number("+49 30 ", i);
            entry[device::ContactField::HomeTelephoneNumber] = Number("+49 40 ", i);
            entry[device::ContactField::MobileTelephoneNumber] = Number("+49 171 ", i);
        }
        if (contacts > 0) entries.back()[device::ContactField::MobileTelephoneNumber] = kSender;
        std::vector<ContactRecord> states{{Accept, UnknownSenderKey}, {Accept, UndefinedSenderKey}};
        for (LONG oid : device::ContactStore().AddAll(entries)) states.push_back({Accept, oid});
        h.WriteContactStates(states);
    }

    HandlerDevice h;
};

// UserSettings with the sender's contact last: the whole walk, the file, and an Accept that
// leaves the message in place for the next iteration.
void BM_ProcessMessageUserSettings(benchmark::State& state) {
    Device device(state.range(0));
    device.h.Filter(UserSettings);
    device::EntryId message = device.h.Receive({Device::kSender});
    for (auto _ : state) {
        test::Outcome outcome = device.h.Process(message);
        if (outcome.handled != MRC_NOT_HANDLED) state.SkipWithError("the message was not accepted");
    }
}
BENCHMARK(BM_ProcessMessageUserSettings)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The address book's own walk over the same contacts for a number nobody has.
void BM_BareWalk(benchmark::State& state) {
    Device device(state.range(0));
    for (auto _ : state) {
        ContactsConnection connection;
        connection.Open();
        std::int32_t key = 0;
        benchmark::DoNotOptimize(connection.FindContact(u"15550100999", key));
        connection.Close();
    }
}
BENCHMARK(BM_BareWalk)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// DismissAll: settings, message and folder, the record appended and flushed, the deletion and
// the counter; the address book stays closed. A fresh message is stored outside the timing.
void BM_ProcessMessageDismissAll(benchmark::State& state) {
    Device device(1000);
    device.h.Filter(DismissAll);
    for (auto _ : state) {
        state.PauseTiming();
        device::EntryId message = device.h.Receive({Device::kSender, u"Win a prize", u"Prizes"});
        state.ResumeTiming();
        test::Outcome outcome = device.h.Process(message);
        if (outcome.handled != MRC_HANDLED_DONTCONTINUE) state.SkipWithError("the message was not dismissed");
    }
}
BENCHMARK(BM_ProcessMessageDismissAll)->Unit(benchmark::kMillisecond);

// P1: one message in UserSettings against 10,000 contacts, its sender the last contact, divided
// by the six-field walk over the same contacts already in memory, in CPU time (counter P1, goal
// 1.5 or less).
void BM_P1_ProcessMessageOverWalk(benchmark::State& state) {
    Device device(10000);
    device.h.Filter(UserSettings);
    device::EntryId message = device.h.Receive({Device::kSender});
    double walk = 0;
    {
        ContactsConnection connection;
        if (!connection.Open()) state.SkipWithError("cannot open the address book");
        walk = bench::MedianSeconds([&] { benchmark::DoNotOptimize(bench::WalkSixFields(connection)); }, 21);
    }
    std::vector<double> seconds;
    for (auto _ : state) {
        seconds.push_back(bench::MedianSeconds(
            [&] {
                if (device.h.Process(message).handled != MRC_NOT_HANDLED) state.SkipWithError("not accepted");
            },
            1));
    }
    state.counters["walk_cpu_ms"] = walk * 1e3;
    state.counters["P1"] = bench::Median(seconds) / walk;
}
BENCHMARK(BM_P1_ProcessMessageOverWalk)->Unit(benchmark::kMillisecond);

}  // namespace
