#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include "WidgetTestSupport.h"
#include "common/SettingsStore.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;

// VelmoLight copied into a directory of the device, as an installation would place it.
fs::path PlaceProgram(const fs::path& dir) {
    fs::create_directories(dir);
    fs::copy_file(test::BinPath("VelmoLight.exe"), dir / "VelmoLight.exe", fs::copy_options::overwrite_existing);
    return dir / "VelmoLight.exe";
}

std::u16string AppPath() {
    SettingsStore settings;
    char16_t path[260] = {};
    settings.GetAppPath(path);
    return path;
}

// Starts the program and waits until its main screen has loaded the contact list.
void StartAndWaitForTheList(QProcess& program, const fs::path& exe) {
    program.start(QString::fromStdString(exe.string()), {});
    ASSERT_TRUE(program.waitForStarted());
    EXPECT_EVENTUALLY(fs::exists(exe.parent_path() / "ContactsInfo.dat"), 20000);
    EXPECT_EVENTUALLY(SettingsStore().GetBlockedMsg() == 0, 5000);
}

void Stop(QProcess& program) {
    program.terminate();
    program.waitForFinished();
}

TEST(SingleInstance, ASecondStartWhileTheFirstRunsExitsZeroAndWritesNothing) {
    test::TempDevice device;
    fs::path exe = PlaceProgram(device.Root() / "Program Files" / "VelmoLight");
    SettingsStore settings;
    settings.SetBlockedMsg(4);
    QProcess first;
    StartAndWaitForTheList(first, exe);
    EXPECT_EQ(AppPath(), device::ToUtf16(exe.parent_path().string() + "/"));

    settings.SetAppPath(u"/elsewhere/");
    settings.SetBlockedMsg(7);
    test::ProcessResult second = test::RunProcess(exe.string(), {});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(AppPath(), u"/elsewhere/");
    EXPECT_EQ(settings.GetBlockedMsg(), 7);
    EXPECT_EQ(first.state(), QProcess::Running);
    Stop(first);
}

TEST(SingleInstance, EachStartRecordsTheDirectoryItRanFrom) {
    test::TempDevice device;
    fs::path before = PlaceProgram(device.Root() / "Program Files" / "VelmoLight");
    QProcess program;
    StartAndWaitForTheList(program, before);
    EXPECT_EQ(AppPath(), device::ToUtf16(before.parent_path().string() + "/"));
    Stop(program);  // leaves its socket behind, as a killed program does

    fs::path after = PlaceProgram(device.Root() / "Storage Card" / "Velmo");
    StartAndWaitForTheList(program, after);
    EXPECT_EQ(AppPath(), device::ToUtf16(after.parent_path().string() + "/"));
    Stop(program);
}

TEST(SingleInstance, ContactsActionRefusesWhileVelmoLightRunsAndLeavesItsFileAlone) {
    test::TempDevice device;
    auto velmoDevice = [](const std::vector<std::string>& args) {
        return test::RunProcess(test::BinPath("velmo-device").string(), args);
    };
    ASSERT_EQ(velmoDevice({"contacts", "add", "--first", "Ada", "--mobile", "+1 555 0100"}).exitCode, 0);
    fs::path exe = PlaceProgram(device.Root() / "Program Files" / "VelmoLight");
    QProcess program;
    StartAndWaitForTheList(program, exe);
    auto before = test::ReadFileBytes(exe.parent_path() / "ContactsInfo.dat");
    test::ProcessResult refused = velmoDevice({"contacts", "action", "1", "dismiss"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.errors.find("VelmoLight is running on this device"), std::string::npos) << refused.errors;
    EXPECT_EQ(test::ReadFileBytes(exe.parent_path() / "ContactsInfo.dat"), before);
    Stop(program);

    test::ProcessResult given = velmoDevice({"contacts", "action", "1", "dismiss"});
    EXPECT_EQ(given.exitCode, 0) << given.errors;
}

}  // namespace
}  // namespace velmo
