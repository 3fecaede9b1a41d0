#include "device/gui/NoDisplay.h"

#include <cstdio>
#include <cstdlib>

#include <QString>
#include <QStringList>

namespace velmo::device::gui {

namespace {

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt keeps one handler per process, so the line and the handler before ours are too.
std::string failureLine;
QtMessageHandler previousHandler = nullptr;

void ExitOnPlatformFailure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", failureLine.c_str());
        std::fflush(stderr);
        std::_Exit(2);
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

}  // namespace

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

std::string NoDisplayText(const std::string& what) {
    return "no display to show " + what + " on; to draw it off screen, run with QT_QPA_PLATFORM=offscreen";
}

PlatformFailureExit::PlatformFailureExit(const std::string& program, const std::string& text) {
    failureLine = program + ": " + text;
    previous_ = qInstallMessageHandler(ExitOnPlatformFailure);
    previousHandler = previous_;
}

PlatformFailureExit::~PlatformFailureExit() { qInstallMessageHandler(previous_); }

}  // namespace velmo::device::gui
