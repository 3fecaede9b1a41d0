// The Today screen as its own process, with the deliverables installed: it shows the
// counters that the SMS transport raises in other processes, and a tap on its item starts
// the program at "AppPath".

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>

#include "ItemHost.h"
#include "common/SettingsStore.h"
#include "device/Text.h"
#include "device/gui/WindowLayer.h"
#include "support/Process.h"
#include "support/ScreenshotDir.h"

namespace {

using velmo::test::BinPath;
using velmo::test::RunProcess;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return RunProcess(BinPath("velmo-device").string(), args);
}

// One instant for this process and the ones it starts, so that every date line agrees.
class FixedNow {
public:
    FixedNow() { setenv("VELMO_DEVICE_NOW", "1781000000", 1); }
    ~FixedNow() { unsetenv("VELMO_DEVICE_NOW"); }
};

TEST(TodaySystem, ScreenProcessShowsCountersRaisedElsewhereAndATapStartsTheProgram) {
    velmo::test::TempDevice device;
    FixedNow now;
    ASSERT_EQ(Device({"install"}).exitCode, 0);
    velmo::test::StartLog log(device);
    // In place of the installed program, one that records that it ran.
    log.WriteProgram(device.InstallAppPath() / "VelmoLight.exe", "VelmoLight");
    velmo::SettingsStore settings;
    settings.SetActiveState(velmo::Active);
    settings.SetItemsState(velmo::DismissAll);
    auto screenshot = device.Root() / "today.png";
    std::string tap = "120," + std::to_string(velmo::device::gui::TodayScreen::ItemsTop() + 10);

    // Long enough for five messages and the next refresh after them, even on a busy machine.
    auto screen = std::async(std::launch::async, [&] {
        return Device({"today", "--exit-after", "12", "--screenshot", screenshot.string(), "--tap", tap});
    });
    // The tap comes once the screen has shown its items: from here on it is up.
    ASSERT_TRUE(log.WaitForLines(1));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"VelmoLight " + device.Root().string()});
    auto receive = [](const std::string& text) {
        auto result = Device({"sms", "receive", "--from", "+49 170 5550123", "--text", text});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
    };
    for (const char* text : {"one", "two", "three"}) receive(text);  // dismissed: BlockedMsg 3
    settings.SetItemsState(velmo::SilentAcceptAll);
    for (const char* text : {"four", "five"}) receive(text);  // silently accepted: SilentMsg 2
    auto result = screen.get();
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    QImage shown(QString::fromStdString(screenshot.string()));
    ASSERT_FALSE(shown.isNull());
    shown.save(QString::fromStdString((velmo::test::ScreenshotDir() / "today.png").string()));
    // What a screen of this process shows with the raised counters.
    velmo::device::gui::TodayScreen expected;
    expected.AddItem(u"VelmoLight Today", velmo::test::FreshItemLibrary(device));
    expected.SetReady();
    expected.Refresh();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32),
              velmo::device::gui::RenderWindow(expected.Window()).convertToFormat(QImage::Format_RGB32));
}

// Sets or, with nullptr, removes an environment variable for as long as it lives.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct DisplayRow {
    const char* name;
    const char* platform;     // QT_QPA_PLATFORM, nullptr for unset
    const char* display;      // DISPLAY, nullptr for unset
    bool velmoLight = false;  // VelmoLight.exe, else velmo-device today
};

void PrintTo(const DisplayRow& row, std::ostream* out) { *out << row.name; }

class NoDisplay : public ::testing::TestWithParam<DisplayRow> {};

TEST_P(NoDisplay, ScreenSaysHowToDrawOffScreenAndExitsTwo) {
    velmo::test::TempDevice device;
    ScopedEnvironment platform("QT_QPA_PLATFORM", GetParam().platform);
    ScopedEnvironment display("DISPLAY", GetParam().display);
    ScopedEnvironment wayland("WAYLAND_DISPLAY", nullptr);
    // VelmoLight has no way to close by itself, so it is only started where no display is named.
    auto result = GetParam().velmoLight ? RunProcess(BinPath("VelmoLight.exe").string(), {})
                                        : Device({"today", "--exit-after", "1"});
    EXPECT_EQ(result.exitCode, 2);
    // Whatever Qt reported before, the last line is ours and names the way out.
    std::string errors = result.errors;
    ASSERT_FALSE(errors.empty());
    ASSERT_EQ(errors.back(), '\n');
    std::string last = errors.substr(errors.rfind('\n', errors.size() - 2) + 1);
    EXPECT_EQ(last.rfind(GetParam().velmoLight ? "VelmoLight.exe: " : "velmo-device: ", 0), 0u) << errors;
    EXPECT_NE(last.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << errors;
    if (GetParam().display == nullptr) {
        EXPECT_EQ(errors, last);  // nothing but the one line
    }
}

INSTANTIATE_TEST_SUITE_P(Environments, NoDisplay,
                         ::testing::Values(DisplayRow{"NothingSet", nullptr, nullptr},
                                           DisplayRow{"X11AskedWithoutDisplay", "xcb", nullptr},
                                           DisplayRow{"DisplayThatIsNotThere", "xcb", ":97"},
                                           DisplayRow{"VelmoLightWithNothingSet", nullptr, nullptr, true},
                                           DisplayRow{"VelmoLightAskingForX11", "xcb", nullptr, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
