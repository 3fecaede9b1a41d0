// The device's Messaging screen opening on an Inbox of 10,000 messages: reading them from
// messages.db, sorting them and drawing the first screenful (the goal: well under a second).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <memory>
#include <string>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "device/Clock.h"
#include "device/MessageStore.h"
#include "device/Text.h"
#include "support/TempDevice.h"
#include "tools/messaging/MessageRows.h"
#include "tools/messaging/MessagingScreen.h"

using namespace velmo;

namespace {

constexpr int kMessages = 10000;

// One application for the whole run, drawing off screen.
QApplication& Application() {
    static int argc = 1;
    static char name[] = "bench_messaging";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto made = std::make_unique<QApplication>(argc, argv);
        UseHandheldFace();
        CreateBoldFont();
        return made;
    }();
    return *application;
}

// A device whose Inbox holds kMessages messages from 500 senders, a minute apart.
struct FullInbox {
    FullInbox() {
        device::MessageStore store;
        auto now = device::Now();
        for (int i = 0; i < kMessages; ++i) {
            std::u16string number = device::ToUtf16("+1555" + std::to_string(1000000 + i % 500));
            std::vector<device::Property> properties{
                device::Property::Text(PR_SENDER_EMAIL_ADDRESS_W, number),
                device::Property::Text(PR_SUBJECT_W, u"See you at the station at half past six, the usual place"),
                device::Property::Time(PR_MESSAGE_DELIVERY_TIME,
                                       device::Split(device::ToFileTime(now - std::chrono::minutes(i)))),
                device::Property::Number(PR_MESSAGE_FLAGS, i % 3 == 0 ? 0 : MSGFLAG_READ)};
            store.CreateMessage(u"Inbox", properties);
        }
    }
    test::TempDevice device;
};

FullInbox& Inbox() {
    static FullInbox inbox;
    return inbox;
}

void BM_LoadInboxRows(benchmark::State& state) {
    Inbox();
    device::MessageStore store;
    for (auto _ : state) benchmark::DoNotOptimize(messaging::LoadRows(store, u"Inbox"));
    state.counters["messages"] = kMessages;
}
BENCHMARK(BM_LoadInboxRows)->Unit(benchmark::kMillisecond);

void BM_OpenMessagingScreen(benchmark::State& state) {
    Application();
    Inbox();
    for (auto _ : state) {
        messaging::MessagingScreen screen;
        screen.Create();
        // Drawn once, as the screen shows it.
        benchmark::DoNotOptimize(screen.grab());
    }
    state.counters["messages"] = kMessages;
}
BENCHMARK(BM_OpenMessagingScreen)->Unit(benchmark::kMillisecond);

}  // namespace
