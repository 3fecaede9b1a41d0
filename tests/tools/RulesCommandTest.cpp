#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/TextRuleFile.h"
#include "device/Text.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

using Command = std::vector<std::string>;

velmo::test::ProcessResult Device(const Command& args) {
    return velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
}

Command Add(const std::string& pattern, const std::string& action, std::vector<std::string> more = {}) {
    Command command{"rules", "add", "--pattern", pattern, "--action", action};
    command.insert(command.end(), more.begin(), more.end());
    return command;
}

struct RulesRow {
    const char* name;
    std::vector<Command> before;  // each must succeed
    Command command;
    int exitCode;
    std::string errorPart;  // part of what the command says on stderr; empty when it succeeds
    std::string listed;     // `rules list` afterwards
};
void PrintTo(const RulesRow& row, std::ostream* out) { *out << row.name; }

class RulesCommand : public testing::TestWithParam<RulesRow> {};

TEST_P(RulesCommand, ChangesTheRulesOrSaysWhyNot) {
    velmo::test::TempDevice device;
    for (const Command& command : GetParam().before) {
        auto result = Device(command);
        ASSERT_EQ(result.exitCode, 0) << result.errors;
    }
    auto result = Device(GetParam().command);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.errors;
    if (GetParam().errorPart.empty()) {
        EXPECT_EQ(result.errors, "");
    } else {
        EXPECT_NE(result.errors.find(GetParam().errorPart), std::string::npos) << result.errors;
    }
    EXPECT_EQ(Device({"rules", "list"}).output, GetParam().listed);
}

const std::vector<Command> kThree = {Add("prize", "dismiss"), Add("^\\d{6}$", "silent", {"--regex", "--in", "both"}),
                                     Add("Mum", "accept", {"--in", "sender"})};

INSTANTIATE_TEST_SUITE_P(
    Rules, RulesCommand,
    testing::Values(RulesRow{"NoneAtFirst", {}, {"rules", "list"}, 0, "", "no text rules\n"},
                    RulesRow{"AddedInOrder",
                             {kThree[0], kThree[1]},
                             kThree[2],
                             0,
                             "",
                             "1: dismiss, in text, words \"prize\"\n2: silent, in both, regex \"^\\d{6}$\"\n"
                             "3: accept, in sender, words \"Mum\"\n"},
                    RulesRow{"MovedToTheTop",
                             kThree,
                             {"rules", "move", "3", "1"},
                             0,
                             "",
                             "1: accept, in sender, words \"Mum\"\n2: dismiss, in text, words \"prize\"\n"
                             "3: silent, in both, regex \"^\\d{6}$\"\n"},
                    RulesRow{"Removed",
                             kThree,
                             {"rules", "remove", "2"},
                             0,
                             "",
                             "1: dismiss, in text, words \"prize\"\n2: accept, in sender, words \"Mum\"\n"},
                    RulesRow{"Cleared", kThree, {"rules", "clear"}, 0, "", "no text rules\n"},
                    RulesRow{"BadRegexRefusedWithItsReason",
                             {kThree[0]},
                             Add("(prize", "dismiss", {"--regex"}),
                             2,
                             "missing )",
                             "1: dismiss, in text, words \"prize\"\n"},
                    RulesRow{"PatternTooLong", {}, Add(std::string(256, 'a'), "dismiss"), 2, "255", "no text rules\n"},
                    RulesRow{
                        "UnknownAction", {}, Add("prize", "block"), 2, "accept, silent, dismiss", "no text rules\n"},
                    RulesRow{"UnknownPlace",
                             {},
                             Add("prize", "dismiss", {"--in", "subject"}),
                             2,
                             "text, sender, both",
                             "no text rules\n"},
                    RulesRow{"NoSuchRule",
                             {kThree[0]},
                             {"rules", "move", "1", "2"},
                             2,
                             "there is no text rule 2",
                             "1: dismiss, in text, words \"prize\"\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RulesCommandLimit, RefusesASixtyFifthRule) {
    velmo::test::TempDevice device;
    const auto file = device.InstallAppPath() / "TextRules.dat";
    const velmo::TextRule rule{velmo::Dismiss, false, velmo::TextRuleScope::Text, u"w"};
    ASSERT_TRUE(velmo::WriteTextRules(velmo::device::ToUtf16(file.string()), std::vector(64, rule)));
    auto result = Device(Add("one more", "dismiss"));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find("64 text rules"), std::string::npos) << result.errors;
    EXPECT_EQ(Device({"rules", "list"}).output.find("65: "), std::string::npos);
}

}  // namespace
