// `velmo-device sms listen --modem-manager --quiet` receiving 1,000 messages from the stand-in
// ModemManager on a private bus, from their Added signals to their deletion from the modem,
// against `sms receive --batch --quiet` of the same messages, with 1,000 contacts.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Device1000.h"
#include "support/ModemStandIn.h"

namespace {

using namespace velmo;

// modem_ratio: messages per second through the bus divided by messages per second of the
// batch, both in wall-clock seconds, since the bus's work is spread over three processes
// (goal 0.5 or more).
void ModemManagerAgainstBatch(benchmark::State& state) {
    if (!test::ModemStandIn::Available()) return state.SkipWithError("needs dbus-daemon and python3-dbusmock");
    bench::Device1000 device;
    const auto dir = device.Batch().parent_path();
    test::ModemStandIn standIn(dir);
    const std::string modem = "/org/freedesktop/ModemManager1/Modem/0";
    standIn.Call("AddModem");
    std::vector<double> bus;
    std::vector<double> batch;
    int deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        device.ClearMessages();
        std::filesystem::remove(dir / "modem-journal.txt");
        auto receiver = std::make_unique<test::BackgroundProcess>(
            test::BinPath("velmo-device").string(),
            std::vector<std::string>{"sms", "listen", "--modem-manager", "--quiet"}, dir / "listen.out");
        bool ready = test::WaitFor(std::chrono::seconds(20), [&] {
            return test::ReadFileText(dir / "listen.out").find("serving modem " + modem) != std::string::npos;
        });
        if (!ready) return state.SkipWithError("the receiver did not start");
        state.ResumeTiming();
        deleted += bench::kMessages;
        const std::string done = std::to_string(deleted) + " 0";
        bus.push_back(bench::MedianSeconds<bench::WallClock>(
            [&] {
                standIn.Call("ReceiveBatch", {"objpath:" + modem, "string:" + device.Batch().string()});
                test::WaitFor(std::chrono::seconds(300), [&] { return standIn.Deletes() == done; });
            },
            1));
        state.PauseTiming();
        receiver.reset();
        if (standIn.Deletes() != done) return state.SkipWithError("not every message was deleted from the modem");
        device.ClearMessages();
        batch.push_back(bench::MedianSeconds<bench::WallClock>(
            [&] {
                bench::Device({"sms", "receive", "--batch", device.Batch().string(), "--quiet"});
            },
            1));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * bench::kMessages);
    state.counters["bus_msgs_per_s"] = bench::kMessages / bench::Median(bus);
    state.counters["batch_msgs_per_s"] = bench::kMessages / bench::Median(batch);
    state.counters["modem_ratio"] = bench::Median(batch) / bench::Median(bus);
}

}  // namespace

BENCHMARK(ModemManagerAgainstBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
