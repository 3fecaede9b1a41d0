#include <benchmark/benchmark.h>

#include "common/SettingsStore.h"
#include "handler/Decision.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

// One setting read as every deliverable makes it: open the key, size the buffer, query, close.
void BM_SettingsRead(benchmark::State& state) {
    test::TempDevice device;
    SettingsStore store;
    store.SetActiveState(ActiveBySchedule);
    store.SetAppPath(u"/device/Program Files/VelmoLight/");
    for (auto _ : state) benchmark::DoNotOptimize(store.GetActiveState());
}
BENCHMARK(BM_SettingsRead);

// The five reads that each incoming message starts with.
void BM_DecisionSettingsRead(benchmark::State& state) {
    test::TempDevice device;
    SettingsStore store;
    store.SetActiveState(ActiveBySchedule);
    for (auto _ : state) benchmark::DoNotOptimize(ReadDecisionSettings(store));
}
BENCHMARK(BM_DecisionSettingsRead);

void BM_Decision(benchmark::State& state) {
    DecisionSettings settings{ActiveBySchedule, {21, 0, 0}, {8, 0, 0}, 31, UserSettings};
    LocalTimeNow now{23, 30, 0, 5};
    std::int32_t sender = Dismiss;
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings);
        benchmark::DoNotOptimize(now);
        std::int32_t action = IsFilteringActiveNow(settings, now) ? DecideAction(settings, [&] { return sender; }) : -1;
        benchmark::DoNotOptimize(action);
    }
}
BENCHMARK(BM_Decision);

}  // namespace
