// What the spam filter costs: a message from an unknown sender at 1,000 contacts with the
// filter on, divided by the same message with it off (counter spam_ratio, goal 1.1 or less),
// the scoring alone, the model file's size (model_bytes, goal 1 MB or less) and learning the
// model again from 5,000 starting messages and 100 of the user's labels (goal one second or less).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/trainer/SpamExplanation.h"
#include "common/trainer/SpamTrainer.h"
#include "device/ContactStore.h"
#include "device/Text.h"
#include "support/HandlerDevice.h"

using namespace velmo;
using velmo::test::HandlerDevice;

namespace {

const std::u16string kFriendly =
    u"Running ten minutes late, the train is stuck outside the station. "
    u"Start without me and save me a seat near the door, thanks!";

std::vector<LabelledMessage> StartingMessages() {
    std::vector<LabelledMessage> messages;
    std::string error;
    for (const char* file :
         {VELMO_SOURCE_DIR "/examples/sms-spam/train.tsv", VELMO_SOURCE_DIR "/examples/sms-spam/modern-train.tsv"}) {
        if (!ReadLabelledMessages(file, messages, error)) throw std::runtime_error(error);
    }
    return messages;
}

SpamModel StartingModel() {
    SpamModel model;
    std::string error;
    if (!TrainSpamModel(StartingMessages(), SpamTrainingOptions{}, model, error)) throw std::runtime_error(error);
    return model;
}

std::u16string Number(const char* prefix, std::int64_t n) {
    return device::ToUtf16(prefix + std::to_string(1000000 + n));
}

// A device of 1,000 contacts and a message from a sender in none of them, accepted either way.
class UnknownSenderDevice {
public:
    UnknownSenderDevice() {
        std::vector<device::ContactEntry> entries(1000);
        for (std::int64_t i = 0; i < 1000; ++i) {
            auto& entry = entries[static_cast<std::size_t>(i)];
            entry[device::ContactField::FirstName] = Number("Name", i);
            entry[device::ContactField::BusinessTelephoneNumber] = Number("+49 30 ", i);
            entry[device::ContactField::HomeTelephoneNumber] = Number("+49 40 ", i);
            entry[device::ContactField::MobileTelephoneNumber] = Number("+49 171 ", i);
        }
        std::vector<ContactRecord> states{{Accept, UnknownSenderKey}, {Accept, UndefinedSenderKey}};
        for (LONG oid : device::ContactStore().AddAll(entries)) states.push_back({Accept, oid});
        h_.WriteContactStates(states);
        h_.Filter(UserSettings);
        model_ = h_.AppDir() / "SpamModel.dat";
        if (!WriteSpamModel(device::ToUtf16(model_.string()), StartingModel())) throw std::runtime_error("no model");
        message_ = h_.Receive({u"+44 7700 900999", kFriendly});
    }

    // Off is a device without "SpamAction", as every device before the filter.
    void SetFilter(bool on) {
        SettingsStore settings;
        if (on) {
            settings.SetSpamAction(Dismiss);
        } else {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, SpamActionValue);
                RegCloseKey(key);
            }
        }
    }

    bool Process() { return h_.Process(message_).handled == MRC_NOT_HANDLED; }
    std::uintmax_t ModelBytes() const { return std::filesystem::file_size(model_); }

private:
    HandlerDevice h_;
    std::filesystem::path model_;
    device::EntryId message_;
};

// ProcessMessage for a sender in no contact, at 1,000 contacts; range(0) 1 is the filter on.
void BM_ProcessMessageUnknownSenderSpam(benchmark::State& state) {
    UnknownSenderDevice device;
    device.SetFilter(state.range(0) != 0);
    for (auto _ : state) {
        if (!device.Process()) state.SkipWithError("the message was not accepted");
    }
    state.counters["model_bytes"] = static_cast<double>(device.ModelBytes());
    if (state.range(0) == 0) return;
    // The same message with the filter on and off, in turns, so that both meet the same machine.
    std::vector<double> on;
    std::vector<double> off;
    for (int round = 0; round < 5; ++round) {
        device.SetFilter(false);
        off.push_back(bench::MedianSeconds([&] { device.Process(); }, 41));
        device.SetFilter(true);
        on.push_back(bench::MedianSeconds([&] { device.Process(); }, 41));
    }
    state.counters["spam_ratio"] = bench::Median(on) / bench::Median(off);
}
BENCHMARK(BM_ProcessMessageUnknownSenderSpam)->ArgName("filter")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The scorer alone, with the model already in memory.
void BM_JudgeOneMessage(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = SerializeSpamModel(StartingModel());
    const std::optional<SpamModelView> model = SpamModelView::Parse(bytes);
    for (auto _ : state) benchmark::DoNotOptimize(model->Judge(kFriendly));
}
BENCHMARK(BM_JudgeOneMessage)->Unit(benchmark::kMicrosecond);

// Learning again from 5,000 starting messages and 100 labels: the starting ones, then as many
// again each with a word of its own, so that none is a duplicate; the labels likewise, each
// learnt as many times as the device learns a label. The names of the heaviest features are
// made with it, as every retraining on the device does.
void BM_RetrainFiveThousand(benchmark::State& state) {
    std::vector<LabelledMessage> messages = StartingMessages();
    const std::size_t starting = messages.size();
    for (std::size_t i = 0; messages.size() < 5100; ++i) {
        LabelledMessage copy = messages[i % starting];
        copy.text += device::ToUtf16(" ref" + std::to_string(i));
        messages.push_back(copy);
    }
    for (auto _ : state) {
        SpamModel model;
        std::string error;
        if (!TrainSpamModel(messages, SpamTrainingOptions{}, model, error, 5000)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(SpamNamesText(model, messages));
    }
    state.counters["messages"] = static_cast<double>(messages.size());
}
BENCHMARK(BM_RetrainFiveThousand)->Unit(benchmark::kMillisecond);

}  // namespace
