// One `velmo-device sms receive --batch` of 1,000 messages: the transport process loads the
// installed VelmoHandler.dll through COM and filters each message in UserSettings mode
// against an address book of 1,000 contacts.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "Device1000.h"
#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ContactStore.h"
#include "device/DeviceRoot.h"
#include "device/MessageStore.h"
#include "device/SmsTransport.h"
#include "device/Text.h"
#include "handler/ProcessMessage.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using namespace velmo;
using bench::Device;
using bench::Device1000;
using bench::kContacts;
using bench::kMessages;
using bench::Number;

// What the transport cannot do without for one message in this process: store it in the Inbox
// with the properties the transport gives it, then ProcessMessage on it; the median of the
// batch's own messages.
double StoreAndProcessSeconds() {
    device::MessageStore store;
    const std::u16string inbox = u"Inbox";
    std::vector<double> seconds;
    for (int m = 0; m < 301; ++m) {
        const device::IncomingSms sms{device::ToUtf16(Number((m * 7919) % kContacts + 1)),
                                      device::ToUtf16("Sender " + std::to_string(m)),
                                      device::ToUtf16("Message number " + std::to_string(m)), std::nullopt};
        seconds.push_back(bench::MedianSeconds(
            [&] {
                device::EntryId message = store.CreateMessage(inbox, device::SmsProperties(sms));
                device::EntryId folder = store.InboxEntryId();
                ULONG event = 0;
                MRCHANDLED handled = MRC_NOT_HANDLED;
                ProcessMessage(store.Interface(), static_cast<ULONG>(message.size()),
                               reinterpret_cast<LPENTRYID>(message.data()), static_cast<ULONG>(folder.size()),
                               reinterpret_cast<LPENTRYID>(folder.data()), &event, &handled);
            },
            1));
    }
    return bench::Median(std::move(seconds));
}

// P2: messages per CPU second of the batch's process, divided by 1 / (storing one message +
// ProcessMessage) in CPU seconds of this process (counter P2, goal 0.8 or more). The row
// quiet:1 is the goal's, as scripts run it; quiet:0 prints each message's report, which
// looks the sender up a second time.
void ReceiveBatchOf1000(benchmark::State& state) {
    Device1000 device;
    std::vector<std::string> args{"sms", "receive", "--batch", device.Batch().string()};
    if (state.range(0) != 0) args.push_back("--quiet");
    std::vector<double> seconds;
    for (auto _ : state) {
        state.PauseTiming();
        device.ClearMessages();
        state.ResumeTiming();
        seconds.push_back(bench::MedianSeconds<bench::ChildrenCpuClock>(
            [&] {
                auto result = Device(args);
                benchmark::DoNotOptimize(result.output.size());
            },
            1));
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    device.ClearMessages();
    double floor = StoreAndProcessSeconds();
    double rate = kMessages / bench::Median(seconds);
    state.counters["floor_cpu_ms"] = floor * 1e3;
    state.counters["P2"] = rate * floor;
}

// Peak memory of one transport process that filters a message against 10,000 contacts.
void PeakMemoryWith10000Contacts(benchmark::State& state) {
    test::TempDevice device;
    Device({"install"});
    device.InstallAppPath();
    std::vector<device::ContactEntry> contacts(10000);
    for (int i = 0; i < 10000; ++i) {
        contacts[i][device::ContactField::LastName] = u"Contact " + device::ToUtf16(std::to_string(i + 1));
        contacts[i][device::ContactField::MobileTelephoneNumber] = device::ToUtf16(Number(i + 1));
        contacts[i][device::ContactField::HomeTelephoneNumber] = device::ToUtf16(Number(i + 20001));
    }
    device::ContactStore().AddAll(contacts);
    SettingsStore settings;
    settings.SetActiveState(Active);
    settings.SetItemsState(UserSettings);
    long peakKb = 0;
    for (auto _ : state) {
        // A forked child waits for the transport alone, so the peak of its children is the transport's.
        pid_t child = fork();
        if (child == 0) {
            auto result = test::RunProcess(test::BinPath("velmo-device").string(),
                                           {"sms", "receive", "--from", Number(10000), "--text", "hello"});
            rusage usage{};
            getrusage(RUSAGE_CHILDREN, &usage);
            _exit(result.exitCode == 0 ? static_cast<int>(std::min<long>(usage.ru_maxrss / 1024, 250)) : 255);
        }
        int status = 0;
        waitpid(child, &status, 0);
        int mb = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
        if (mb == 255) state.SkipWithError("the transport failed");
        peakKb = std::max<long>(peakKb, mb * 1024L);
    }
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024;
}

}  // namespace

BENCHMARK(ReceiveBatchOf1000)
    ->ArgName("quiet")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(PeakMemoryWith10000Contacts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
