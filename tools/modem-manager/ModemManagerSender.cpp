#include "tools/modem-manager/ModemManagerSender.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <optional>

#include "tools/modem-manager/ModemManagerNames.h"

namespace velmo::cli {

namespace {

using modem_manager::ManagerPath;
using modem_manager::Messaging;
using modem_manager::Service;
using modem_manager::SmsInterface;

constexpr std::uint32_t SmsStateUnknown = 0;
constexpr std::uint32_t SmsStateStored = 1;
constexpr std::uint32_t SmsStateSending = 4;
constexpr std::uint32_t SmsStateSent = 5;
constexpr std::uint32_t SmsPduTypeSubmit = 2;
// The network may take its time; ModemManager answers Send only when it is done.
constexpr int SendTimeoutMs = 120'000;
// The name this route records its hand-overs under.
const QString Route = QStringLiteral("ModemManager");

std::string ErrorText(const QDBusMessage& reply) {
    return (reply.errorName() + ": " + reply.errorMessage()).toStdString();
}

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& args = {}, int timeout = -1) {
    QDBusMessage call = QDBusMessage::createMethodCall(Service, path, interface, method);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, timeout);
}

// The modems with messaging, by path, or why there are none.
std::string FindModem(QDBusConnection& bus, QString& modem) {
    QDBusMessage reply = Call(bus, ManagerPath, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
    if (reply.type() != QDBusMessage::ReplyMessage) return "ModemManager cannot be asked (" + ErrorText(reply) + ")";
    QStringList modems;
    const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        objects.beginMapEntry();
        objects >> path >> interfaces;
        objects.endMapEntry();
        if (interfaces.contains(Messaging)) modems << path.path();
    }
    objects.endMap();
    if (modems.isEmpty()) return "ModemManager has no modem with messaging";
    std::sort(modems.begin(), modems.end());
    modem = modems.front();
    return {};
}

// The properties of the message at path, or nothing when ModemManager has no such message.
std::optional<QVariantMap> SmsProperties(QDBusConnection& bus, const QString& path) {
    QDBusMessage reply = Call(bus, path, "org.freedesktop.DBus.Properties", "GetAll", {SmsInterface});
    if (reply.type() != QDBusMessage::ReplyMessage) return std::nullopt;
    return qdbus_cast<QVariantMap>(reply.arguments().value(0));
}

// A message of ours that an earlier sender had the modem create but did not live to record:
// one to send with this number and text, not sent.
QString Unrecorded(QDBusConnection& bus, const QString& modem, const device::OutgoingSms& sms) {
    QDBusMessage reply = Call(bus, modem, Messaging, "List");
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    QList<QDBusObjectPath> messages;
    reply.arguments().value(0).value<QDBusArgument>() >> messages;
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        auto properties = SmsProperties(bus, it->path());
        if (!properties) continue;
        const std::uint32_t state = (*properties)["State"].toUInt();
        if ((*properties)["PduType"].toUInt() == SmsPduTypeSubmit &&
            (state == SmsStateUnknown || state == SmsStateStored) &&
            (*properties)["Number"].toString() == QString::fromStdU16String(sms.number) &&
            (*properties)["Text"].toString() == QString::fromStdU16String(sms.text)) {
            return it->path();
        }
    }
    return {};
}

// Once sent, the modem's copy is of no more use; recorded first, so that a kill before the
// delete leaves it to the next sender.
std::string Finish(QDBusConnection& bus, const QString& modem, const QString& message, device::HandOver& handOver) {
    handOver.Record((QStringList{Route, "sent", modem, message}).join('\t').toStdString());
    Call(bus, modem, Messaging, "Delete", {QVariant::fromValue(QDBusObjectPath(message))});
    return {};
}

std::string Send(const QString& only, const device::OutgoingSms& sms, device::HandOver& handOver) {
    const QStringList record = QString::fromStdString(handOver.Recorded()).split('\t');
    const bool ours = record.size() >= 3 && record[0] == Route;
    if (!ours && record.size() >= 2 && record[1] != "create") {
        return "it was being handed to " + record[0].toStdString() +
               " when the sender stopped; sending it through that modem again finishes it";
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return "no system bus (" + bus.lastError().message().toStdString() + ")";
    QString modem = ours ? record[2] : QString();
    QString message = ours && record.size() >= 4 ? record[3] : QString();
    const QString step = ours ? record[1] : QString();
    if (step == "sent") return Finish(bus, modem, message, handOver);
    if (step == "send") {
        // The last sender may have been killed while the modem sent it, or just after.
        std::optional<QVariantMap> properties;
        QElapsedTimer waited;
        waited.start();
        while ((properties = SmsProperties(bus, message)) && (*properties)["State"].toUInt() == SmsStateSending &&
               waited.elapsed() < SendTimeoutMs) {
            QThread::msleep(100);
        }
        if (!properties) {
            handOver.Record({});
            return "ModemManager no longer has the message " + message.toStdString() +
                   " it was given, so whether it was sent cannot be told; it is not sent again now: the next " +
                   "retry sends it anew";
        }
        if ((*properties)["State"].toUInt() == SmsStateSent) return Finish(bus, modem, message, handOver);
    } else if (step == "create") {
        message = Unrecorded(bus, modem, sms);
        if (!message.isEmpty()) handOver.Record((QStringList{Route, "send", modem, message}).join('\t').toStdString());
    }
    if (message.isEmpty()) {
        modem = only;
        if (modem.isEmpty()) {
            if (std::string why = FindModem(bus, modem); !why.empty()) return why;
        }
        QVariantMap properties;
        properties["number"] = QString::fromUtf16(sms.number.data(), static_cast<qsizetype>(sms.number.size()));
        properties["text"] = QString::fromUtf16(sms.text.data(), static_cast<qsizetype>(sms.text.size()));
        handOver.Record((QStringList{Route, "create", modem}).join('\t').toStdString());
        QDBusMessage created = Call(bus, modem, Messaging, "Create", {properties});
        if (created.type() != QDBusMessage::ReplyMessage) {
            return "modem " + modem.toStdString() + " did not take the message (" + ErrorText(created) + ")";
        }
        message = created.arguments().value(0).value<QDBusObjectPath>().path();
        handOver.Record((QStringList{Route, "send", modem, message}).join('\t').toStdString());
    }
    QDBusMessage sent = Call(bus, message, SmsInterface, "Send", {}, SendTimeoutMs);
    if (sent.type() != QDBusMessage::ReplyMessage) {
        // A modem that refused it has not sent it: its copy goes, and the next retry starts afresh
        // (or takes the copy, should this sender end before it is deleted). A modem that did not
        // answer may still send it: the next retry asks it first.
        if (sent.errorName() != "org.freedesktop.DBus.Error.NoReply") {
            handOver.Record((QStringList{Route, "create", modem}).join('\t').toStdString());
            Call(bus, modem, Messaging, "Delete", {QVariant::fromValue(QDBusObjectPath(message))});
        }
        return "modem " + modem.toStdString() + " did not send it (" + ErrorText(sent) + ")";
    }
    QDBusMessage state =
        Call(bus, message, "org.freedesktop.DBus.Properties", "Get", {SmsInterface, QStringLiteral("State")});
    if (state.type() != QDBusMessage::ReplyMessage) {
        return "modem " + modem.toStdString() + " cannot say whether it sent it (" + ErrorText(state) + ")";
    }
    const QVariant value = state.arguments().value(0).value<QDBusVariant>().variant();
    if (value.toUInt() != SmsStateSent) {
        return "modem " + modem.toStdString() + " answered, but left the message in state " +
               std::to_string(value.toUInt()) + ", not sent";
    }
    return Finish(bus, modem, message, handOver);
}

}  // namespace

device::ModemSend ModemManagerSend(const std::string& modemPath) {
    return [only = QString::fromStdString(modemPath)](const device::OutgoingSms& sms, device::HandOver& handOver) {
        return Send(only, sms, handOver);
    };
}

std::unique_ptr<QCoreApplication> QtApplication() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    static int argc = 1;
    static char name[] = "velmo-device";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace velmo::cli
