#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/velmo-device/Commands.h"

#ifdef VELMO_HAVE_TODAY_SCREEN
#include <QGuiApplication>
#include <filesystem>
#include <system_error>

#include "device/gui/NoDisplay.h"
#include "device/gui/TodayScreen.h"
#include "device/gui/WindowLayer.h"
#endif

namespace velmo::cli {

namespace {

struct TodayOptions {
    int dpi = 96;
    std::string screenshot;
    double exitAfter = 0;
    std::vector<std::string> taps;
    bool install = false;
};

#ifdef VELMO_HAVE_TODAY_SCREEN
QPoint ParseTap(const std::string& text) {
    std::size_t comma = text.find(',');
    try {
        if (comma != std::string::npos) {
            std::size_t end = 0;
            int x = std::stoi(text.substr(0, comma), &end);
            if (end == comma) {
                std::string rest = text.substr(comma + 1);
                int y = std::stoi(rest, &end);
                if (end == rest.size()) return QPoint(x, y);
            }
        }
    } catch (const std::exception&) {}
    throw UsageError("--tap wants X,Y in pixels, not \"" + text + "\"");
}

void RunToday(const TodayOptions& options) {
    std::vector<QPoint> taps;
    for (const std::string& tap : options.taps) taps.push_back(ParseTap(tap));
    const std::string noDisplay = device::gui::NoDisplayText("the Today screen");
    if (device::gui::NoDisplayForPlatform()) throw UsageError(noDisplay);
    int argc = 1;
    char name[] = "velmo-device";
    char* argv[] = {name, nullptr};
    auto platformFailure = std::make_unique<device::gui::PlatformFailureExit>("velmo-device", noDisplay);
    QGuiApplication application(argc, argv);
    platformFailure.reset();
    device::gui::SetScreenDpi(options.dpi);

    device::gui::TodayScreen screen;
    std::vector<std::string> problems = screen.LoadRegisteredItems();
    for (const std::string& problem : problems) std::cerr << "velmo-device: " << problem << "\n";
    if (screen.ItemCount() == 0 && problems.empty()) {
        std::cerr << "velmo-device: no Today items are registered; velmo-device install registers VelmoToday\n";
    }
    // The Messaging line opens this very program's Messaging screen.
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) screen.SetMessagingProgram({self.string(), "messaging"});
    screen.SetReady();
    screen.Refresh();
    screen.Show();
    for (QPoint tap : taps) device::gui::Tap(screen.Window(), tap);
    screen.StartRefreshing();
    if (options.exitAfter > 0) {
        QTimer::singleShot(static_cast<int>(options.exitAfter * 1000), &application, &QCoreApplication::quit);
    }
    application.exec();
    if (!options.screenshot.empty() &&
        !device::gui::RenderWindow(screen.Window()).save(QString::fromStdString(options.screenshot), "PNG")) {
        throw std::runtime_error("cannot save the screenshot to " + options.screenshot);
    }
}
#endif

}  // namespace

void AddTodayCommands(CLI::App& app) {
    auto options = std::make_shared<TodayOptions>();
    CLI::App* today = app.add_subcommand("today", "the Today screen with its registered items");
    today->add_option("--dpi", options->dpi, "the screen's resolution (96 gives 240 x 320 pixels)")
        ->check(CLI::Range(48, 480));
    today->add_option("--screenshot", options->screenshot, "save the screen as a PNG file when it closes");
    today->add_option("--exit-after", options->exitAfter, "close the screen after SECONDS")
        ->check(
            [](const std::string& text) -> std::string {
                // The timer counts whole milliseconds in an int.
                double seconds = 0;
                std::size_t used = 0;
                try {
                    seconds = std::stod(text, &used);
                } catch (const std::exception&) {
                    used = 0;
                }
                if (used == text.size() && seconds >= 0.001 && seconds <= 2147483) return {};
                return "takes 0.001 to 2147483 seconds, not " + text;
            },
            "SECONDS");
    today->add_option("--tap", options->taps, "tap the screen at X,Y once the items are up (repeatable)");
    today->add_flag("--install", options->install,
                    "first install the deliverables into the device when it lacks them or holds other copies");
    today->callback([options] {
#ifdef VELMO_HAVE_TODAY_SCREEN
        if (options->install) InstallWhenNeeded();
        FindLibrariesBesideDeliverables();
        RunToday(*options);
#else
        throw std::runtime_error("this velmo-device was built without the Today screen (it needs Qt 6)");
#endif
    });
}

}  // namespace velmo::cli
