#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

using velmo::test::BinPath;
using velmo::test::RunProcess;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return RunProcess(BinPath("velmo-device").string(), args);
}

double ScoreOf(const std::string& text) {
    const auto scored = Device({"spam", "score", text});
    EXPECT_EQ(scored.exitCode, 0) << scored.errors;
    const auto at = scored.output.find("spam score ");
    return at == std::string::npos ? -1.0 : std::stod(scored.output.substr(at + 11));
}

const std::string kPrize = "WINNER!! You have won a 1000 pound prize. Call 09061701461 now to claim, T&C apply";

const std::string kCode = kPrize + " Your verification code is 482913";

// A fresh install with the filter on dismisses a stranger's spam and passes his ordinary
// message, saying why; a one-time code is held back from the spam action; restoring the spam
// teaches the model that it is ham, so it scores lower after.
TEST(SpamCommands, RestoreTeachesTheInstalledModel) {
    velmo::test::TempDevice device;
    ASSERT_EQ(Device({"install"}).exitCode, 0);
    ASSERT_TRUE(std::filesystem::exists(device.InstallAppPath() / "SpamModel.dat"));
    // Right after install, before anything set "AppPath".
    const auto fresh = Device({"spam", "score", kPrize});
    EXPECT_EQ(fresh.exitCode, 0) << fresh.errors;
    EXPECT_NE(fresh.output.find("): spam\nweighed most towards spam: a phone number +"), std::string::npos)
        << fresh.output;
    const auto code = Device({"spam", "score", kCode});
    EXPECT_NE(code.output.find("): not spam: it carries a one-time code, which the code rule holds back\n"),
              std::string::npos)
        << code.output;
    const auto action = Device({"spam", "action", "dismiss"});
    ASSERT_EQ(action.exitCode, 0);
    EXPECT_NE(action.output.find("filtering is off (Disabled)"), std::string::npos) << action.output;
    ASSERT_EQ(Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"}).exitCode, 0);

    const auto spam = Device({"sms", "receive", "--from", "+447700900555", "--text", kPrize});
    EXPECT_EQ(spam.output.rfind("dismissed:", 0), 0u) << spam.output;
    EXPECT_NE(spam.output.find("sender key -1 (unknown); spam score 0."), std::string::npos) << spam.output;
    EXPECT_NE(spam.output.find(" +"), std::string::npos) << spam.output;
    const auto held = Device({"sms", "receive", "--from", "+447700900555", "--text", kCode});
    EXPECT_EQ(held.output.rfind("accepted:", 0), 0u) << held.output;
    EXPECT_NE(held.output.find("; held back from the spam action by the one-time-code rule;"), std::string::npos)
        << held.output;
    const auto ham = Device({"sms", "receive", "--from", "+447700900555", "--text", "Are we still on for lunch?"});
    EXPECT_EQ(ham.output.rfind("accepted:", 0), 0u) << ham.output;
    EXPECT_EQ(ham.output.find("spam score"), std::string::npos) << ham.output;
    EXPECT_NE(Device({"blocked"}).output.find("(judged spam, score 0."), std::string::npos);

    const double before = ScoreOf(kPrize);
    const auto restored = Device({"blocked", "restore", "1"});
    EXPECT_EQ(restored.exitCode, 0) << restored.errors;
    EXPECT_NE(restored.output.find("the spam filter learnt it as ham"), std::string::npos) << restored.output;
    EXPECT_LT(ScoreOf(kPrize), before);
    std::ifstream labels(device.InstallAppPath() / "SpamLabels.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(labels), {}), "ham\t" + kPrize + "\n");

    const std::filesystem::path file = device.Root() / "judged.tsv";
    std::ofstream(file) << "spam\t" << kPrize << "\nham\tSee you at home tonight, love\n";
    const auto evaluated = Device({"spam", "evaluate", file.string()});
    EXPECT_NE(evaluated.output.find("\ncaught "), std::string::npos) << evaluated.output;
    EXPECT_NE(evaluated.output.find(" of 1 spam ("), std::string::npos) << evaluated.output;
    EXPECT_NE(evaluated.output.find("), blocked 0 of 1 ham (0.00 %), accuracy "), std::string::npos)
        << evaluated.output;

    // Several files are counted apart; a replay counts each half's corrections.
    const auto crossed = Device({"spam", "crossvalidate", file.string(), file.string(), "--folds", "2"});
    EXPECT_EQ(crossed.exitCode, 0) << crossed.errors;
    EXPECT_NE(crossed.output.find("\n  " + file.string() + ": caught "), std::string::npos) << crossed.output;
    EXPECT_NE(crossed.output.find("\n  all: caught "), std::string::npos) << crossed.output;
    const auto replayed = Device({"spam", "replay", file.string()});
    EXPECT_EQ(replayed.exitCode, 0) << replayed.errors;
    EXPECT_NE(replayed.output.find("\nfirst half: "), std::string::npos) << replayed.output;
    EXPECT_NE(replayed.output.find(" corrections in 1 messages\nsecond half: "), std::string::npos) << replayed.output;
}

}  // namespace
