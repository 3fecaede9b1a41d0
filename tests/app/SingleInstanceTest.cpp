#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
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

// A session on an X server without a window manager, driven with xdotool as a person drives
// it. $0 is the program, $1 what the person does once its screen is up, with the screen's
// place in X, Y, WIDTH and HEIGHT. Freed memory is overwritten at once, so that a use of it
// inside Qt, which the sanitizer cannot see, crashes the program.
constexpr char kXSession[] = R"sh(
Xvfb -displayfd 3 -screen 0 480x640x24 -nolisten tcp 3>"$0.display" 2>/dev/null & server=$!
trap 'kill $server' EXIT
timeout 10 sh -c "until [ -s '$0.display' ]; do sleep 0.1; done" || exit 90
export DISPLAY=":$(cat "$0.display")" QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="$ASAN_OPTIONS:max_free_fill_size=1048576:free_fill_byte=190"
"$0" & program=$!
timeout 20 xdotool search --sync --onlyvisible --name '^VelmoLight$' >/dev/null || exit 91
sleep 1
eval "$(xdotool search --onlyvisible --name '^VelmoLight$' getwindowgeometry --shell)"
eval "$1"
wait $program)sh";

constexpr char kExitByKeys[] = "xdotool key F1 sleep 0.5 key Up sleep 0.2 key Return";

struct WayOut {
    const char* name;
    std::string actions;
};

class RealDisplay : public testing::TestWithParam<WayOut> {};

TEST_P(RealDisplay, EndsTheProgramWithZero) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    test::TempDevice device;
    fs::path exe = PlaceProgram(device.Root() / "Program Files" / "VelmoLight");
    test::ProcessResult session = test::RunProcess("/bin/sh", {"-c", kXSession, exe.string(), GetParam().actions});
    EXPECT_EQ(session.exitCode, 0) << session.errors;
}

INSTANTIATE_TEST_SUITE_P(WaysOut, RealDisplay,
                         testing::Values(WayOut{"ViewExitByKeys", kExitByKeys},
                                         // "View", then "Exit", its last entry, just above the soft keys.
                                         WayOut{"ViewExitByTaps",
                                                "xdotool mousemove $((X+20)) $((Y+HEIGHT-13)) click 1 sleep 0.5 "
                                                "mousemove $((X+30)) $((Y+HEIGHT-38)) click 1"},
                                         WayOut{"TitleBarOk", "xdotool mousemove $((X+WIDTH-18)) $((Y+13)) click 1"},
                                         WayOut{"Escape", "xdotool key Escape"},
                                         WayOut{"SecondStartThenExit",
                                                std::string("\"$0\" || exit 92; ") + kExitByKeys},
                                         // The Today item switches to Active behind the screen's back; a
                                         // tap on the selector steps on from what is stored: by schedule.
                                         WayOut{"ATapStepsFromTheStoredState",
                                                "D=" + test::BinPath("velmo-device").string() +
                                                    "; K=HKLM/Software/Apps/VelmoLight; $D registry set $K "
                                                    "ActiveState --dword 0 >/dev/null; xdotool mousemove $((X+60)) "
                                                    "$((Y+40)) click 1 sleep 0.5; $D registry get $K ActiveState | "
                                                    "grep -q ' 1 ' || exit 93; " +
                                                    kExitByKeys},
                                         // "Options", "Export..." by keys, a file named in the chooser, the
                                         // box closed by its key; the exit keys then reach the list again.
                                         WayOut{"ExportByKeys",
                                                "xdotool key F2 sleep 0.5 key Up Up Up Return sleep 1 type "
                                                "\"$0.saved\"; xdotool key Return sleep 1 key Return sleep 0.5; "
                                                "test -s \"$0.saved.json\" || exit 94; " +
                                                    std::string(kExitByKeys)}),
                         [](const testing::TestParamInfo<WayOut>& info) { return info.param.name; });

}  // namespace
}  // namespace velmo
