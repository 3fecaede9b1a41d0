#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/velmo-device/Commands.h"

#ifdef VELMO_HAVE_TODAY_SCREEN
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <QGuiApplication>
#include <QStringList>

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
};

#ifdef VELMO_HAVE_TODAY_SCREEN
// What is said when no display can be had, naming the screen that wanted one.
std::string noDisplay;

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// True when every platform Qt would try needs a display server and none is named.
// Qt's platforms are tried in the order given, each with options after a colon.
bool NoDisplayForPlatform() {
    if (EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY")) return false;
    const char* requested = std::getenv("QT_QPA_PLATFORM");
    QStringList platforms = QString::fromLocal8Bit(requested != nullptr ? requested : "").split(QLatin1Char(';'));
    for (const QString& entry : platforms) {
        QString platform = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (!platform.isEmpty() && platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland"))) {
            return false;
        }
    }
    return true;
}

// Qt's handler before ours, which still prints every other message; Qt keeps one handler per process.
QtMessageHandler previousHandler = nullptr;

// Qt ends the process when no platform plugin can be started (a display that is named
// but cannot be reached); this says what to do instead and exits as a usage error does.
void ExitOnPlatformFailure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "velmo-device: %s\n", noDisplay.c_str());
        std::fflush(stderr);
        std::_Exit(2);
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

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
    int argc = 1;
    char name[] = "velmo-device";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QGuiApplication> started =
        StartScreenApplication("the Today screen", [&] { return std::make_unique<QGuiApplication>(argc, argv); });
    QGuiApplication& application = *started;
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

#ifdef VELMO_HAVE_TODAY_SCREEN
std::unique_ptr<QGuiApplication> StartScreenApplication(const std::string& screen,
                                                        const std::function<std::unique_ptr<QGuiApplication>()>& make) {
    noDisplay = "no display to show " + screen + " on; to draw it off screen, run with QT_QPA_PLATFORM=offscreen";
    if (NoDisplayForPlatform()) throw UsageError(noDisplay);
    previousHandler = qInstallMessageHandler(ExitOnPlatformFailure);
    std::unique_ptr<QGuiApplication> application = make();
    qInstallMessageHandler(previousHandler);
    return application;
}
#endif

void AddTodayCommands(CLI::App& app) {
    auto options = std::make_shared<TodayOptions>();
    CLI::App* today = app.add_subcommand("today", "the Today screen with its registered items");
    today->add_option("--dpi", options->dpi, "the screen's resolution (96 gives 240 x 320 pixels)")
        ->check(CLI::Range(48, 480));
    today->add_option("--screenshot", options->screenshot, "save the screen as a PNG file when it closes");
    today->add_option("--exit-after", options->exitAfter, "close the screen after SECONDS")->check(CLI::PositiveNumber);
    today->add_option("--tap", options->taps, "tap the screen at X,Y once the items are up (repeatable)");
    today->callback([options] {
#ifdef VELMO_HAVE_TODAY_SCREEN
        RunToday(*options);
#else
        throw std::runtime_error("this velmo-device was built without the Today screen (it needs Qt 6)");
#endif
    });
}

}  // namespace velmo::cli
