#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;

struct RootRow {
    const char* name;
    std::vector<std::string> environment;  // for env(1): NAME=VALUE or -u NAME; @ is a fresh folder
    std::vector<std::string> args;
    int exitCode;
    std::string said;  // the whole output when the command succeeds, else in its one line of errors
};
void PrintTo(const RootRow& row, std::ostream* out) { *out << row.name; }

std::string At(std::string text, const fs::path& folder) {
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
        text.replace(at, 1, folder.string());
    }
    return text;
}

class DeviceRoot : public ::testing::TestWithParam<RootRow> {
protected:
    velmo::test::TempDevice folder;
};

// Where the device lives follows the desktop's rules, never a shared folder, and a command
// that only looks tells a device that is not there from an empty one.
TEST_P(DeviceRoot, FollowsTheEnvironmentAndNamesAMissingDevice) {
    const RootRow& row = GetParam();
    std::vector<std::string> args;
    for (const auto& entry : row.environment) args.push_back(At(entry, folder.Root()));
    args.push_back(velmo::test::BinPath("velmo-device").string());
    for (const auto& arg : row.args) args.push_back(At(arg, folder.Root()));
    auto result = velmo::test::RunProcess("/usr/bin/env", args);
    EXPECT_EQ(result.exitCode, row.exitCode) << result.errors;
    if (row.exitCode == 0) {
        EXPECT_EQ(result.output, At(row.said, folder.Root()) + "\n");
    } else {
        EXPECT_EQ(result.output, "");
        EXPECT_NE(result.errors.find(At(row.said, folder.Root())), std::string::npos) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        // Nothing was made: not the missing device, nor a device in the working folder.
        EXPECT_TRUE(fs::is_empty(folder.Root()));
        EXPECT_FALSE(fs::exists("registry.db"));
    }
}

const std::vector<std::string> kNone = {"-u", "VELMO_DEVICE", "-u", "XDG_DATA_HOME", "-u", "HOME"};
const std::vector<std::string> kMissing = {"VELMO_DEVICE=@/gone"};

INSTANTIATE_TEST_SUITE_P(
    Rows, DeviceRoot,
    ::testing::Values(
        RootRow{"VelmoDeviceFirst", {"VELMO_DEVICE=@/v", "XDG_DATA_HOME=@/x", "HOME=@/h"}, {"where"}, 0, "@/v"},
        RootRow{
            "ThenTheDataHome", {"VELMO_DEVICE=", "XDG_DATA_HOME=@/x", "HOME=@/h"}, {"where"}, 0, "@/x/velmo/device"},
        RootRow{"ThenTheHome",
                {"-u", "VELMO_DEVICE", "-u", "XDG_DATA_HOME", "HOME=@/h"},
                {"where"},
                0,
                "@/h/.local/share/velmo/device"},
        RootRow{"RelativeDataHomeIgnored",
                {"-u", "VELMO_DEVICE", "XDG_DATA_HOME=data", "HOME=@/h"},
                {"where"},
                0,
                "@/h/.local/share/velmo/device"},
        RootRow{"NoneSetRefusesToInstall", kNone, {"install"}, 2, "velmo-device: no place for the device"},
        RootRow{"RelativeHomeRefusesToReceive",
                {"-u", "VELMO_DEVICE", "-u", "XDG_DATA_HOME", "HOME=home"},
                {"sms", "receive", "--from", "555", "--text", "t"},
                2,
                "set VELMO_DEVICE"},
        RootRow{"InboxOfNoDevice", kMissing, {"inbox"}, 1, "velmo-device: no device at @/gone"},
        RootRow{"BlockedOfNoDevice", kMissing, {"blocked"}, 1, "no device at @/gone"},
        RootRow{"ContactsOfNoDevice", kMissing, {"contacts", "list"}, 1, "no device at @/gone"},
        RootRow{"RulesOfNoDevice", kMissing, {"rules", "list"}, 1, "no device at @/gone"},
        RootRow{"RegistryOfNoDevice", kMissing, {"registry", "list"}, 1, "no device at @/gone"},
        RootRow{"ValueOfNoDevice", kMissing, {"registry", "get", "HKLM/Software", "x"}, 1, "no device at @/gone"},
        RootRow{"ExportOfNoDevice", kMissing, {"export", "@/export.json"}, 1, "no device at @/gone"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
