#include <memory>
#include <string>

#include "tools/velmo-device/Commands.h"

#ifdef VELMO_HAVE_MESSAGING
#include <QApplication>
#include <QTimer>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/WindowPresence.h"
#include "tools/messaging/ComposeView.h"
#include "tools/messaging/MessagingScreen.h"
#endif

namespace velmo::cli {

namespace {

struct MessagingOptions {
    std::string screenshot;
    double exitAfter = 0;
};

#ifdef VELMO_HAVE_MESSAGING
void RunMessaging(const MessagingOptions& options) {
    int argc = 1;
    char name[] = "velmo-device";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QGuiApplication> started =
        StartScreenApplication("the Messaging screen", [&] { return std::make_unique<QApplication>(argc, argv); });
    // A second start brings the open screen to the front, as the handheld keeps one of each program.
    const QString caption = QStringLiteral("Messaging");
    if (auto running = ForeignWindow::Find(caption)) {
        running->SetForeground();
        return;
    }
    UseHandheldFace();
    CreateBoldFont();
    {
        messaging::MessagingScreen screen(nullptr, messaging::ComposeView::Run);
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
    messaging->callback([options] {
#ifdef VELMO_HAVE_MESSAGING
        RunMessaging(*options);
#else
        throw std::runtime_error("this velmo-device was built without the Messaging screen (it needs Qt 6 Widgets)");
#endif
    });
}

}  // namespace velmo::cli
