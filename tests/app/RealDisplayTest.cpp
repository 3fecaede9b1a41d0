// VelmoLight as its own process on a real X server without a window manager, driven with
// xdotool as a person drives it: every way out of the program ends it with 0.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>
#include <map>

#include "WidgetTestSupport.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 20000;

// Xvfb on the first free display from a number of this process's own, 480 x 640.
class XServer {
public:
    XServer() {
        QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty()) return;
        for (int attempt = 0; attempt < 40 && display_.isEmpty(); ++attempt) {
            int number = 100 + static_cast<int>((getpid() + attempt * 7) % 800);
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) continue;
            server_.start(program, {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"), QStringLiteral("0"),
                                    QStringLiteral("480x640x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            // A display taken meanwhile by another server makes this one exit at once.
            if (QTest::qWaitFor([&] { return QFile::exists(socket) || server_.state() == QProcess::NotRunning; },
                                5000) &&
                server_.state() == QProcess::Running) {
                display_ = QStringLiteral(":%1").arg(number);
            } else {
                server_.kill();
                server_.waitForFinished();
            }
        }
    }
    ~XServer() {
        server_.terminate();
        if (!server_.waitForFinished(3000)) server_.kill();
        server_.waitForFinished();
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    static bool Installed() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }
    // Empty when no server could be started.
    const QString& Display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

enum class WayOut { ViewExitByKeys, ViewExitByTaps, TitleBarOk, Escape, SecondStartThenExit };

struct WayOutRow {
    const char* name;
    WayOut way;
};

class RealDisplay : public testing::TestWithParam<WayOutRow> {
protected:
    void SetUp() override {
        if (!XServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
        x_ = std::make_unique<XServer>();
        ASSERT_FALSE(x_->Display().isEmpty()) << "no X server could be started";
        fs::path dir = device_.Root() / "Program Files" / "VelmoLight";
        fs::create_directories(dir);
        exe_ = dir / "VelmoLight.exe";
        fs::copy_file(test::BinPath("VelmoLight.exe"), exe_);
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("DISPLAY"), x_->Display());
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Freed memory is overwritten at once, so that a use of it after it was freed
        // (which the sanitizer cannot see inside Qt) crashes instead of going unnoticed.
        environment_.insert(QStringLiteral("ASAN_OPTIONS"),
                            environment_.value(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("abort_on_error=1")) +
                                QStringLiteral(":max_free_fill_size=1048576:free_fill_byte=190"));
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished();
        }
    }

    void Start(QProcess& process) {
        process.setProcessEnvironment(environment_);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QString::fromStdString(exe_.string()), {});
        ASSERT_TRUE(process.waitForStarted());
    }
    // Runs xdotool on the display; its standard output.
    QString XDoTool(const QStringList& args) {
        QProcess tool;
        tool.setProcessEnvironment(environment_);
        tool.start(QStringLiteral("xdotool"), args);
        EXPECT_TRUE(tool.waitForFinished(kWaitMs)) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(tool.exitCode(), 0) << args.join(QLatin1Char(' ')).toStdString();
        return QString::fromUtf8(tool.readAllStandardOutput());
    }
    // The main screen's place on the display: X, Y, WIDTH and HEIGHT.
    std::map<QString, int> MainScreenGeometry() {
        std::map<QString, int> geometry;
        const QString shell = XDoTool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--name"), QStringLiteral("^VelmoLight$"),
                                       QStringLiteral("getwindowgeometry"), QStringLiteral("--shell")});
        for (const QString& line : shell.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QStringList pair = line.split(QLatin1Char('='));
            if (pair.size() == 2) geometry[pair[0]] = pair[1].toInt();
        }
        return geometry;
    }
    void Tap(int x, int y) {
        XDoTool({QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
                 QStringLiteral("1")});
    }
    void ExitFromTheViewMenuByKeys() {
        XDoTool({QStringLiteral("key"), QStringLiteral("F1"), QStringLiteral("sleep"), QStringLiteral("0.5"),
                 QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("sleep"), QStringLiteral("0.2"),
                 QStringLiteral("key"), QStringLiteral("Return")});
    }

    test::TempDevice device_;
    std::unique_ptr<XServer> x_;
    fs::path exe_;
    QProcessEnvironment environment_;
    QProcess program_;
};

TEST_P(RealDisplay, EveryWayOutEndsTheProgramWithZero) {
    Start(program_);
    // The main screen is up once its list has been loaded and its window is shown.
    ASSERT_EVENTUALLY(fs::exists(exe_.parent_path() / "ContactsInfo.dat"), kWaitMs);
    std::map<QString, int> screen;
    ASSERT_EVENTUALLY((screen = MainScreenGeometry()).count(QStringLiteral("HEIGHT")) == 1, kWaitMs);
    QTest::qWait(300);
    const int left = screen[QStringLiteral("X")], top = screen[QStringLiteral("Y")];
    const int right = left + screen[QStringLiteral("WIDTH")], bottom = top + screen[QStringLiteral("HEIGHT")];
    switch (GetParam().way) {
        case WayOut::ViewExitByKeys:
            ExitFromTheViewMenuByKeys();
            break;
        case WayOut::ViewExitByTaps:
            Tap(left + 20, bottom - 13);  // "View", the left soft key
            QTest::qWait(500);
            Tap(left + 30, bottom - 26 - 12);  // "Exit", the last entry, just above the bar
            break;
        case WayOut::TitleBarOk:
            Tap(right - 18, top + 13);
            break;
        case WayOut::Escape:
            XDoTool({QStringLiteral("key"), QStringLiteral("Escape")});
            break;
        case WayOut::SecondStartThenExit: {
            QProcess second;
            Start(second);
            ASSERT_TRUE(second.waitForFinished(kWaitMs));
            EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(second.exitCode(), 0);
            EXPECT_EQ(program_.state(), QProcess::Running);
            QTest::qWait(300);
            ExitFromTheViewMenuByKeys();
            break;
        }
    }
    ASSERT_TRUE(program_.waitForFinished(kWaitMs)) << "the program did not end";
    EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(WaysOut, RealDisplay,
                         testing::Values(WayOutRow{"ViewExitByKeys", WayOut::ViewExitByKeys},
                                         WayOutRow{"ViewExitByTaps", WayOut::ViewExitByTaps},
                                         WayOutRow{"TitleBarOk", WayOut::TitleBarOk},
                                         WayOutRow{"Escape", WayOut::Escape},
                                         WayOutRow{"SecondStartThenExit", WayOut::SecondStartThenExit}),
                         [](const testing::TestParamInfo<WayOutRow>& info) { return info.param.name; });

}  // namespace
}  // namespace velmo
