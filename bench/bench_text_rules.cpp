// What text rules add to a message from an unknown sender: the address book walk at 1,000
// contacts with and without 64 rules that all miss (counter rules_ratio, the row with 64
// rules divided by the same message without rules in the same run; goal 1.2 or less), the
// matcher alone, and a pathological pattern on a full SMS.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "common/TextRuleFile.h"
#include "common/TextRuleMatcher.h"
#include "device/ContactStore.h"
#include "device/Text.h"
#include "support/HandlerDevice.h"

using namespace velmo;
using velmo::test::HandlerDevice;

namespace {

std::u16string Number(const char* prefix, std::int64_t n) {
    return device::ToUtf16(prefix + std::to_string(1000000 + n));
}

// 64 rules that a friendly message misses: half plain words, half regular expressions, the
// kinds users write (words of spam, codes, sender names).
std::vector<TextRule> MissingRules() {
    std::vector<TextRule> rules;
    for (int i = 0; i < 32; ++i) {
        rules.push_back({Dismiss, false, TextRuleScope::Both, device::ToUtf16("prize draw " + std::to_string(i))});
        rules.push_back({SilentAccept, true, TextRuleScope::Text,
                         device::ToUtf16("(?i)(win|won)\\s+\\w+\\s+(cruise|car|loan)" + std::to_string(i) + "\\b")});
    }
    return rules;
}

// A device of 1,000 contacts, a message from a sender in none of them, and range rules.
class UnknownSenderDevice {
public:
    explicit UnknownSenderDevice(std::size_t ruleCount) {
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
        SetRules(ruleCount);
        h_.Filter(UserSettings);
        message_ = h_.Receive({u"+44 7700 900999",
                               u"Running ten minutes late, the train is stuck outside the station. "
                               u"Start without me and save me a seat near the door, thanks!"});
    }

    // No rules is no TextRules.dat, as on a device whose user never wrote one.
    void SetRules(std::size_t count) {
        const std::filesystem::path path = h_.AppDir() / "TextRules.dat";
        std::filesystem::remove(path);
        std::vector<TextRule> rules = MissingRules();
        rules.resize(count);
        if (count > 0 && !WriteTextRules(device::ToUtf16(path.string()), rules)) {
            throw std::runtime_error("cannot write " + path.string());
        }
    }

    // False when the message was not accepted, as every rule misses it.
    bool Process() { return h_.Process(message_).handled == MRC_NOT_HANDLED; }

private:
    HandlerDevice h_;
    device::EntryId message_;
};

// ProcessMessage for a sender in no contact, at 1,000 contacts; range(0) is the number of rules.
void BM_ProcessMessageUnknownSender(benchmark::State& state) {
    const auto rules = static_cast<std::size_t>(state.range(0));
    UnknownSenderDevice device(rules);
    for (auto _ : state) {
        if (!device.Process()) state.SkipWithError("the message was not accepted");
    }
    if (rules == 0) return;
    // The same message with and without the rules, in turns, so that both meet the same machine.
    std::vector<double> with;
    std::vector<double> without;
    for (int round = 0; round < 5; ++round) {
        device.SetRules(0);
        without.push_back(bench::MedianSeconds([&] { device.Process(); }, 41));
        device.SetRules(rules);
        with.push_back(bench::MedianSeconds([&] { device.Process(); }, 41));
    }
    state.counters["rules_ratio"] = bench::Median(with) / bench::Median(without);
}
BENCHMARK(BM_ProcessMessageUnknownSender)->ArgName("rules")->Arg(0)->Arg(64)->Unit(benchmark::kMillisecond);

// The matcher alone: the 64 rules against the same friendly message, compiled for each
// message (compiled:0) and compiled once, as the handler keeps them while the file stands.
void BM_MatchSixtyFourRules(benchmark::State& state) {
    const std::vector<TextRule> rules = MissingRules();
    const std::u16string text =
        u"Running ten minutes late, the train is stuck outside the station. "
        u"Start without me and save me a seat near the door, thanks!";
    const TextRuleMatcher kept(rules);
    for (auto _ : state) {
        auto matched = state.range(0) != 0 ? kept.FirstMatch(text, u"+44 7700 900999")
                                           : FirstMatchingTextRule(rules, text, u"+44 7700 900999");
        if (matched) state.SkipWithError("a rule matched");
        benchmark::DoNotOptimize(matched);
    }
}
BENCHMARK(BM_MatchSixtyFourRules)->ArgName("compiled")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Patterns that take exponential time on a backtracking matcher, on a 160-character SMS that
// almost matches them.
void BM_PathologicalPattern(benchmark::State& state) {
    const std::vector<TextRule> rules = {{Dismiss, true, TextRuleScope::Text, u"(a+)+$"},
                                         {Dismiss, true, TextRuleScope::Text, u"(a|aa)+b"},
                                         {Dismiss, true, TextRuleScope::Text, u"(x+x+)+y"}};
    const std::u16string text = std::u16string(159, u'a') + u"!";
    for (auto _ : state) {
        auto matched = FirstMatchingTextRule({rules[static_cast<std::size_t>(state.range(0))]}, text, u"");
        if (matched) state.SkipWithError("the pattern matched");
        benchmark::DoNotOptimize(matched);
    }
}
BENCHMARK(BM_PathologicalPattern)->ArgName("pattern")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
