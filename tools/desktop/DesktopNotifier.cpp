#include "tools/desktop/DesktopNotifier.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <iostream>

extern char** environ;

namespace velmo::cli {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString OpenAction = QStringLiteral("default");

// The three entities every server that reads body markup knows; a quote stays a quote.
QString EscapeMarkup(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('&')) {
            escaped += QStringLiteral("&amp;");
        } else if (c == QLatin1Char('<')) {
            escaped += QStringLiteral("&lt;");
        } else if (c == QLatin1Char('>')) {
            escaped += QStringLiteral("&gt;");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

// The connection to the server, and the notifications of this process whose action opens
// the Messaging screen.
class NotificationServer : public QObject {
    Q_OBJECT

public:
    NotificationServer(std::string openCommand, bool answerActions)
        : openCommand_(std::move(openCommand)),
          answerActions_(answerActions),
          bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("velmo-notifications"))) {
        if (answerActions_ && bus_.isConnected()) {
            bus_.connect(Service, Path, Interface, "ActionInvoked", this, SLOT(actionInvoked(uint, QString)));
        }
    }
    ~NotificationServer() override { QDBusConnection::disconnectFromBus(QStringLiteral("velmo-notifications")); }

    // Empty when posted, else why not.
    std::string Post(const QString& summary, const QString& body) {
        if (!bus_.isConnected()) return "no session bus (" + bus_.lastError().message().toStdString() + ")";
        QDBusMessage capabilities =
            bus_.call(QDBusMessage::createMethodCall(Service, Path, Interface, "GetCapabilities"));
        if (capabilities.type() != QDBusMessage::ReplyMessage) {
            return "no notification server (" + capabilities.errorMessage().toStdString() + ")";
        }
        const QStringList offered = capabilities.arguments().value(0).toStringList();
        QStringList actions;
        if (answerActions_ && offered.contains("actions")) {
            actions << OpenAction << QStringLiteral("Open Messaging");
        }
        QVariantMap hints;
        hints["category"] = QStringLiteral("im.received");
        QDBusMessage notify = QDBusMessage::createMethodCall(Service, Path, Interface, "Notify");
        // A server that reads markup in the body would obey a stranger's tags and entities.
        const QString shownBody = offered.contains("body-markup") ? EscapeMarkup(body) : body;
        notify.setArguments({QStringLiteral("Velmo"), 0u, QString(), summary, shownBody, actions, hints, -1});
        QDBusMessage reply = bus_.call(notify);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            return "the notification server refused (" + reply.errorMessage().toStdString() + ")";
        }
        if (!actions.isEmpty()) ours_.insert(reply.arguments().value(0).toUInt());
        return {};
    }

public slots:
    void actionInvoked(uint id, const QString& action) {
        if (action != OpenAction || !ours_.remove(id)) return;
        // Started in the background of a shell that ends at once, so nothing is left to reap.
        const std::string background = openCommand_ + " </dev/null >/dev/null 2>&1 &";
        const char* argv[] = {"/bin/sh", "-c", background.c_str(), nullptr};
        // Not the receiver's signal mask, which keeps SIGTERM for its signal file.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        pid_t child = 0;
        int spawned = posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ);
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) {
            std::cerr << "velmo-device: the Messaging screen cannot be started" << std::endl;
            return;
        }
        waitpid(child, nullptr, 0);
    }

private:
    std::string openCommand_;
    bool answerActions_;
    QDBusConnection bus_;
    QSet<uint> ours_;
};

DesktopNotifier::DesktopNotifier(std::string openCommand, bool answerActions)
    : openCommand_(std::move(openCommand)), answerActions_(answerActions) {}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::Notify(const std::string& summary, const std::string& body) {
    // Connected at the first message, when the program's event loop (if it has one) is up.
    if (!server_) server_ = std::make_unique<NotificationServer>(openCommand_, answerActions_);
    std::string why = server_->Post(QString::fromStdString(summary), QString::fromStdString(body));
    if (why.empty() || told_) return;
    told_ = true;
    std::cerr << "velmo-device: messages are not announced on the desktop: " << why << std::endl;
}

}  // namespace velmo::cli

#include "DesktopNotifier.moc"
