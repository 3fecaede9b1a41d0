#include "tools/modem-manager/ModemManagerListener.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>

#include "device/ModemSms.h"
#include "device/VisibleText.h"
#include "tools/modem-manager/ModemManagerNames.h"
#include "tools/modem-manager/ModemManagerSender.h"

namespace velmo::cli {

namespace {

using modem_manager::ManagerPath;
using modem_manager::Messaging;
using modem_manager::Service;
using modem_manager::SmsInterface;

const QString ObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");

std::string Utf8(const QString& text) { return text.toStdString(); }

std::u16string Utf16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

std::string ErrorText(const QDBusMessage& reply) { return Utf8(reply.errorName()) + ": " + Utf8(reply.errorMessage()); }

// A note may carry what a modem or a sender gave, so its control characters are shown.
void Note(const std::string& line) { std::cerr << "velmo-device: " << device::VisibleText(line) << std::endl; }

// The interface names of an a{sa{sv}}, as InterfacesAdded and GetManagedObjects give them.
QStringList InterfaceNames(const QDBusArgument& argument) {
    QStringList names;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString name;
        QVariantMap properties;
        argument.beginMapEntry();
        argument >> name >> properties;
        argument.endMapEntry();
        names << name;
    }
    argument.endMap();
    return names;
}

device::ModemSmsProperties ReadProperties(const QVariantMap& map) {
    device::ModemSmsProperties properties;
    auto take = [&](const char* name, int type) -> const QVariant* {
        auto found = map.find(QString::fromLatin1(name));
        if (found == map.end()) return nullptr;
        if (found->metaType().id() != type) {
            properties.wrongTypes.push_back(name);
            return nullptr;
        }
        return &*found;
    };
    if (auto* v = take("State", QMetaType::UInt)) properties.state = v->toUInt();
    if (auto* v = take("PduType", QMetaType::UInt)) properties.pduType = v->toUInt();
    if (auto* v = take("Number", QMetaType::QString)) properties.number = Utf16(v->toString());
    if (auto* v = take("Text", QMetaType::QString)) properties.text = Utf16(v->toString());
    if (auto* v = take("Timestamp", QMetaType::QString)) properties.timestamp = Utf8(v->toString());
    if (auto* v = take("Data", QMetaType::QByteArray))
        properties.dataBytes = static_cast<std::size_t>(v->toByteArray().size());
    return properties;
}

// What app.exec() answers when the bus connection is lost, or a new one is to be tried.
constexpr int BusLost = 3;
// A modem that has not deleted a message by then is taken not to: it stays there, stored.
constexpr int DeleteTimeoutMs = 5000;

// How long a modem's message that could not be stored waits before it is tried again, unless
// another message is stored first: a disk that is full stays so for a while.
constexpr std::chrono::seconds SweepInterval{30};

}  // namespace

bool IsObjectPath(std::string_view text) {
    if (text == "/") return true;
    if (text.size() < 2 || text.front() != '/' || text.back() == '/') return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '/' && text[i - 1] == '/') return false;
        if (c != '/' && c != '_' && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

// Everything runs on the one thread of the event loop, and every call to ModemManager waits
// for its answer, so one message is handled at a time, from its reading to its deletion.
class ModemManagerListener : public QObject {
    Q_OBJECT

public:
    ModemManagerListener(QDBusConnection bus, QString onlyModem, ModemIntake& intake)
        : bus_(std::move(bus)),
          onlyModem_(std::move(onlyModem)),
          intake_(intake),
          watcher_(Service, bus_, QDBusServiceWatcher::WatchForOwnerChange) {
        connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { LoadModems(); });
        connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
            Note("ModemManager left the bus; waiting for it to return");
            while (!modems_.empty()) RemoveModem(modems_.begin()->first);
        });
        // The watcher tells of a name handed straight from one owner to the next by neither
        // of the two signals above: the modems of the old owner are gone all the same.
        connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                    if (oldOwner.isEmpty() || newOwner.isEmpty()) return;
                    Note("ModemManager's name passed to a new owner; taking its modems afresh");
                    while (!modems_.empty()) RemoveModem(modems_.begin()->first);
                    LoadModems();
                });
        sweep_.setSingleShot(true);
        sweep_.setInterval(SweepInterval);
        connect(&sweep_, &QTimer::timeout, this, [this] { Sweep(); });
        bus_.connect(Service, ManagerPath, ObjectManager, "InterfacesAdded", this, SLOT(interfacesAdded(QDBusMessage)));
        bus_.connect(Service, ManagerPath, ObjectManager, "InterfacesRemoved", this,
                     SLOT(interfacesRemoved(QDBusMessage)));
        LoadModems();
        if (!onlyModem_.isEmpty() && modems_.empty()) Note("waiting for modem " + Utf8(onlyModem_));
    }

public slots:
    void interfacesAdded(const QDBusMessage& signal) {
        const auto args = signal.arguments();
        if (args.size() < 2) return;
        const QString path = args[0].value<QDBusObjectPath>().path();
        if (InterfaceNames(args[1].value<QDBusArgument>()).contains(Messaging)) AddModem(path);
    }

    void interfacesRemoved(const QDBusMessage& signal) {
        const auto args = signal.arguments();
        if (args.size() < 2) return;
        const QString path = args[0].value<QDBusObjectPath>().path();
        if (args[1].toStringList().contains(Messaging)) RemoveModem(path);
    }

    void messageAdded(const QDBusMessage& signal) {
        const auto args = signal.arguments();
        if (args.size() < 2 || !args[1].toBool()) return;  // a message of our own, to be sent
        Consider(signal.path(), args[0].value<QDBusObjectPath>().path());
    }

    void messageChanged(const QDBusMessage& signal) {
        auto waiting = waiting_.find(signal.path());
        if (waiting != waiting_.end()) Consider(waiting->second, waiting->first);
    }

private:
    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(Service, path, interface, method);
        call.setArguments(args);
        return bus_.call(call, QDBus::Block);
    }

    void LoadModems() {
        QDBusMessage reply = Call(ManagerPath, ObjectManager, "GetManagedObjects");
        if (reply.type() != QDBusMessage::ReplyMessage) {
            // Not running yet is the usual case at boot: the watcher brings the modems later.
            if (reply.errorName() != "org.freedesktop.DBus.Error.ServiceUnknown") {
                Note("ModemManager's modems cannot be listed (" + ErrorText(reply) + "); waiting for it");
            }
            return;
        }
        const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
        QStringList modems;
        objects.beginMap();
        while (!objects.atEnd()) {
            QDBusObjectPath path;
            objects.beginMapEntry();
            objects >> path;
            if (InterfaceNames(objects).contains(Messaging)) modems << path.path();
            objects.endMapEntry();
        }
        objects.endMap();
        for (const QString& modem : modems) AddModem(modem);
    }

    void AddModem(const QString& path) {
        if ((!onlyModem_.isEmpty() && path != onlyModem_) || modems_.count(path) != 0) return;
        modems_[path];
        bus_.connect(Service, path, Messaging, "Added", this, SLOT(messageAdded(QDBusMessage)));
        Note("serving modem " + Utf8(path));
        // Connected first, listed second: a message that arrives in between is seen twice,
        // and the second time finds it handled.
        ListMessages(path);
    }

    // Considers every message the modem holds; those already handled are passed over. False
    // when the modem cannot list them.
    bool ListMessages(const QString& path) {
        QDBusMessage reply = Call(path, Messaging, "List");
        if (reply.type() != QDBusMessage::ReplyMessage) {
            Note("the messages of modem " + Utf8(path) + " cannot be listed (" + ErrorText(reply) + ")");
            return false;
        }
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        QList<QDBusObjectPath> messages;
        list >> messages;
        for (const auto& message : messages) Consider(path, message.path());
        return true;
    }

    void RemoveModem(const QString& path) {
        auto modem = modems_.find(path);
        if (modem == modems_.end()) return;
        bus_.disconnect(Service, path, Messaging, "Added", this, SLOT(messageAdded(QDBusMessage)));
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            if (it->second != path) {
                ++it;
                continue;
            }
            const QString message = it->first;  // a copy: Unwatch erases the key
            Unwatch(message);
            it = waiting_.begin();
        }
        modems_.erase(modem);
        Note("modem " + Utf8(path) + " is gone");
    }

    void Watch(const QString& modem, const QString& message) {
        if (!waiting_.emplace(message, modem).second) return;
        bus_.connect(Service, message, Properties, "PropertiesChanged", this, SLOT(messageChanged(QDBusMessage)));
    }

    void Unwatch(const QString& message) {
        if (waiting_.erase(message) == 0) return;
        bus_.disconnect(Service, message, Properties, "PropertiesChanged", this, SLOT(messageChanged(QDBusMessage)));
    }

    // By value: a caller may pass a key of waiting_, which Unwatch erases.
    void Consider(const QString modemPath, const QString message) {
        auto modem = modems_.find(modemPath);
        if (modem == modems_.end() || modem->second.count(message) != 0) return;
        const std::string name = "message " + Utf8(message) + " of modem " + Utf8(modemPath);
        QDBusMessage reply = Call(message, Properties, "GetAll", {SmsInterface});
        if (reply.type() != QDBusMessage::ReplyMessage) {
            Note(name + ": its properties cannot be read (" + ErrorText(reply) + ")");
            return;
        }
        const device::ModemSmsReading reading =
            device::ReadModemSms(ReadProperties(qdbus_cast<QVariantMap>(reply.arguments().value(0))));
        using Kind = device::ModemSmsReading::Kind;
        if (reading.kind == Kind::Receiving) return Watch(modemPath, message);
        Unwatch(message);
        modem->second.insert(message);
        if (reading.kind == Kind::NotIncoming) return;
        if (!reading.note.empty()) Note(name + ": " + reading.note);
        if (reading.kind == Kind::Received) Take(modemPath, message, name, reading);
    }

    // Stored and filtered first, deleted from the modem second: an end between the two leaves
    // the message on the modem and in the journal, never lost and never stored again.
    void Take(const QString& modem, const QString& message, const std::string& name,
              const device::ModemSmsReading& reading) {
        std::string key;
        try {
            key = intake_.Take(Utf8(modem), Utf8(message), reading,
                               [this, &reading](const std::string& path) { return Holds(path, reading.key); });
        } catch (const std::exception& error) {
            Note(name + " cannot be stored (" + error.what() + "); it stays on the modem");
            modems_[modem].erase(message);
            LeftBehind(modem);
            return;
        }
        // What could not be stored before may be now: the modem is looked at again at once.
        if (!leftBehind_.empty()) QTimer::singleShot(0, this, [this] { Sweep(); });
        // Answered on its own time, so that a modem that does not answer holds up no message behind it.
        QDBusMessage call = QDBusMessage::createMethodCall(Service, modem, Messaging, "Delete");
        call.setArguments({QVariant::fromValue(QDBusObjectPath(message))});
        auto* deleting = new QDBusPendingCallWatcher(bus_.asyncCall(call, DeleteTimeoutMs), this);
        connect(deleting, &QDBusPendingCallWatcher::finished, this, [this, deleting, name, key] {
            deleting->deleteLater();
            if (deleting->isError()) {
                Note(name + " is stored, but the modem did not delete it (" + ErrorText(deleting->reply()) +
                     "); it will not be stored again");
                return;
            }
            intake_.Deleted(key);
        });
    }

    // Whether the modem has, at path, a message of the number, timestamp and text that key names.
    bool Holds(const std::string& path, const std::string& key) {
        if (!IsObjectPath(path)) return false;
        QDBusMessage reply = Call(QString::fromStdString(path), Properties, "GetAll", {SmsInterface});
        if (reply.type() != QDBusMessage::ReplyMessage) return false;
        return device::ReadModemSms(ReadProperties(qdbus_cast<QVariantMap>(reply.arguments().value(0)))).key == key;
    }

    // A message that could not be stored (a full disk, a journal that cannot be written) stays
    // on its modem, which signals it no more: its modem is listed again after a while.
    void LeftBehind(const QString& modem) {
        leftBehind_.insert(modem);
        if (!sweep_.isActive()) sweep_.start();
    }

    void Sweep() {
        sweep_.stop();
        const std::set<QString> modems = std::move(leftBehind_);
        leftBehind_.clear();
        for (const QString& modem : modems) {
            if (modems_.count(modem) != 0 && !ListMessages(modem)) LeftBehind(modem);
        }
    }

    QDBusConnection bus_;
    QString onlyModem_;
    ModemIntake& intake_;
    QDBusServiceWatcher watcher_;
    std::set<QString> leftBehind_;                 // served modems that hold a message that could not be stored
    QTimer sweep_;                                 // lists them again when it fires
    std::map<QString, std::set<QString>> modems_;  // each served modem with the messages it has handled
    std::map<QString, QString> waiting_;           // messages still receiving parts, with their modem
};

void ListenToModemManager(const std::string& modemPath, ModemIntake& intake) {
    // Blocked before any thread starts, so that every thread leaves them to the signal file.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    int stopFd = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stopFd < 0) throw std::runtime_error("cannot wait for SIGTERM");

    auto application = QtApplication();  // unless the caller made one
    QSocketNotifier stopped(stopFd, QSocketNotifier::Read);
    QCoreApplication& app = *QCoreApplication::instance();
    QObject::connect(&stopped, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    // Each connection gets a name of its own: a connection the bus dropped cannot be used again.
    for (int generation = 0;; ++generation) {
        const QString connection = QStringLiteral("velmo-listen-%1").arg(generation);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, connection);
        int result = 0;
        if (!bus.isConnected()) {
            if (generation == 0) {
                ::close(stopFd);
                throw std::runtime_error("cannot connect to the system bus (" + Utf8(bus.lastError().message()) + ")");
            }
            QTimer::singleShot(1000, &app, [&app] { app.exit(BusLost); });
            result = app.exec();
        } else {
            if (generation > 0) Note("connected to the system bus again");
            ModemManagerListener listener(bus, QString::fromStdString(modemPath), intake);
            // The connection says nothing when the bus goes; asking it is cheap.
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, &app, [&app, &bus] {
                if (!bus.isConnected()) app.exit(BusLost);
            });
            check.start(500);
            result = app.exec();
            if (result == BusLost) Note("the system bus is gone; connecting again");
        }
        QDBusConnection::disconnectFromBus(connection);
        if (result != BusLost) break;
    }
    ::close(stopFd);
}

}  // namespace velmo::cli

#include "ModemManagerListener.moc"
