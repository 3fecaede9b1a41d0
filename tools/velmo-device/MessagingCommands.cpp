#include <memory>
#include <string>

#include "tools/velmo-device/Commands.h"

#ifdef VELMO_HAVE_MESSAGING
#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/WindowPresence.h"
#include "device/gui/NoDisplay.h"
#include "tools/messaging/ComposeView.h"
#include "tools/messaging/MessagingScreen.h"
#include "tools/messaging/SendWords.h"
#endif

namespace velmo::cli {

namespace {

struct MessagingOptions {
    std::string screenshot;
    double exitAfter = 0;
    std::string modem;
    std::string gammuOutbox;
};

#ifdef VELMO_HAVE_MESSAGING
struct SendRun {
    int exitCode = -1;
    std::string output;
    std::string errors;
};

// Runs this program's `sms send` with the arguments, the screen still drawn meanwhile: the
// command stores the message in the Outbox and hands it to the modem as it does from a shell.
SendRun RunSmsSend(const MessagingOptions& options, QStringList arguments) {
    arguments.prepend(QStringLiteral("send"));
    arguments.prepend(QStringLiteral("sms"));
    if (!options.gammuOutbox.empty()) {
        arguments << QStringLiteral("--gammu-outbox") << QString::fromStdString(options.gammuOutbox);
    } else if (!options.modem.empty()) {
        arguments << QStringLiteral("--modem") << QString::fromStdString(options.modem);
    }
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    if (process.state() != QProcess::NotRunning) loop.exec(QEventLoop::ExcludeUserInputEvents);
    SendRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit && process.error() == QProcess::UnknownError
                       ? process.exitCode()
                       : -1;
    run.output = process.readAllStandardOutput().trimmed().toStdString();
    run.errors = process.readAllStandardError().trimmed().toStdString();
    return run;
}

// What `sms send` said went wrong, in the person's words rather than the command's.
std::string Problem(const SendRun& run) {
    std::string said = !run.errors.empty() ? run.errors : run.output;
    const std::string prefix = "velmo-device: ";
    if (said.rfind(prefix, 0) == 0) said = said.substr(prefix.size());
    return said.empty() ? "The message could not be handed to the modem." : said;
}

messaging::ComposeView::Outcome SendOne(const MessagingOptions& options, const std::u16string& number,
                                        const std::u16string& text) {
    SendRun run = RunSmsSend(options, {QStringLiteral("--to"), QString::fromStdU16String(number),
                                       QStringLiteral("--text"), QString::fromStdU16String(text)});
    if (run.exitCode == 0) return {true, {}};
    // A message the modem did not take is in the Outbox all the same, with the reason:
    // `not sent to NUMBER "TEXT": REASON; left in the Outbox`.
    std::size_t end = run.output.rfind("; left in the Outbox");
    std::size_t start = end == std::string::npos ? end : run.output.rfind("\": ", end);
    bool stored = run.exitCode == 1 && start != std::string::npos;
    std::string problem = stored ? messaging::PlainSendReason(run.output.substr(start + 3, end - start - 3)) +
                                       ".\nThe message waits in the Outbox; Menu, Send again tries again."
                                 : messaging::PlainSendReason(Problem(run));
    return {stored, problem};
}

std::string RetryOutbox(const MessagingOptions& options) {
    SendRun run = RunSmsSend(options, {QStringLiteral("--retry")});
    if (run.exitCode == 0) return {};
    std::string summary = messaging::RetrySummary(run.output);
    return summary.empty() ? messaging::PlainSendReason(Problem(run)) : summary;
}

void RunMessaging(const MessagingOptions& options) {
    int argc = 1;
    char name[] = "velmo-device";
    char* argv[] = {name, nullptr};
    const std::string noDisplay = device::gui::NoDisplayText("the Messaging screen");
    if (device::gui::NoDisplayForPlatform()) throw UsageError(noDisplay);
    auto platformFailure = std::make_unique<device::gui::PlatformFailureExit>("velmo-device", noDisplay);
    auto started = std::make_unique<QApplication>(argc, argv);
    platformFailure.reset();
    // A second start brings the open screen to the front, as the handheld keeps one of each program.
    const QString caption = QStringLiteral("Messaging");
    if (auto running = ForeignWindow::Find(caption)) {
        running->SetForeground();
        return;
    }
    UseHandheldFace();
    CreateBoldFont();
    {
        auto send = [&options](const std::u16string& number, const std::u16string& text) {
            return SendOne(options, number, text);
        };
        messaging::MessagingScreen screen(
            nullptr,
            [&send](QWidget* owner, const std::u16string& recipient) {
                messaging::ComposeView(owner, recipient, send).DoModal();
            },
            [&options] { return RetryOutbox(options); });
        QObject::connect(&screen, &QDialog::finished, started.get(), &QCoreApplication::quit);
        screen.Create();
        if (options.exitAfter > 0) {
            QTimer::singleShot(static_cast<int>(options.exitAfter * 1000), started.get(), [&screen] {
                // A message box or a message open above the screen closes with it.
                while (QWidget* modal = QApplication::activeModalWidget()) {
                    if (modal == &screen) break;
                    modal->close();
                }
                QCoreApplication::quit();
            });
        }
        if (!screen.Ended()) started->exec();
        if (!options.screenshot.empty() && !screen.grab().save(QString::fromStdString(options.screenshot), "PNG")) {
            throw std::runtime_error("cannot save the screenshot to " + options.screenshot);
        }
    }
    DeleteBoldFont();
}
#endif

}  // namespace

void AddMessagingCommands(CLI::App& app) {
    auto options = std::make_shared<MessagingOptions>();
    CLI::App* messaging = app.add_subcommand(
        "messaging", "the Messaging screen: the Inbox, Sent and Outbox of the device, read and answered");
    messaging->add_option("--screenshot", options->screenshot, "save the screen as a PNG file when it closes");
    messaging->add_option("--exit-after", options->exitAfter, "close the screen after SECONDS")
        ->check(CLI::PositiveNumber);
    auto* modem = messaging->add_option("--modem", options->modem,
                                        "send through this ModemManager modem (default: the first with messaging)");
    messaging->add_option("--gammu-outbox", options->gammuOutbox, "send through gammu-smsd's outbox folder instead")
        ->excludes(modem);
    messaging->callback([options] {
#ifdef VELMO_HAVE_MESSAGING
        RunMessaging(*options);
#else
        throw std::runtime_error("this velmo-device was built without the Messaging screen (it needs Qt 6 Widgets)");
#endif
    });
}

}  // namespace velmo::cli
