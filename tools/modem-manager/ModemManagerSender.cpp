#include "tools/modem-manager/ModemManagerSender.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>

#include "tools/modem-manager/ModemManagerNames.h"

namespace velmo::cli {

namespace {

using modem_manager::ManagerPath;
using modem_manager::Messaging;
using modem_manager::Service;
using modem_manager::SmsInterface;

constexpr std::uint32_t SmsStateSent = 5;
// The network may take its time; ModemManager answers Send only when it is done.
constexpr int SendTimeoutMs = 120'000;

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

std::string Send(const QString& only, const device::OutgoingSms& sms) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return "no system bus (" + bus.lastError().message().toStdString() + ")";
    QString modem = only;
    if (modem.isEmpty()) {
        if (std::string why = FindModem(bus, modem); !why.empty()) return why;
    }
    QVariantMap properties;
    properties["number"] = QString::fromUtf16(sms.number.data(), static_cast<qsizetype>(sms.number.size()));
    properties["text"] = QString::fromUtf16(sms.text.data(), static_cast<qsizetype>(sms.text.size()));
    QDBusMessage created = Call(bus, modem, Messaging, "Create", {properties});
    if (created.type() != QDBusMessage::ReplyMessage) {
        return "modem " + modem.toStdString() + " did not take the message (" + ErrorText(created) + ")";
    }
    const QString message = created.arguments().value(0).value<QDBusObjectPath>().path();
    QDBusMessage sent = Call(bus, message, SmsInterface, "Send", {}, SendTimeoutMs);
    if (sent.type() != QDBusMessage::ReplyMessage) {
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
    return {};
}

}  // namespace

device::ModemSend ModemManagerSend(const std::string& modemPath) {
    return [only = QString::fromStdString(modemPath)](const device::OutgoingSms& sms) { return Send(only, sms); };
}

std::unique_ptr<QCoreApplication> QtApplication() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    static int argc = 1;
    static char name[] = "velmo-device";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace velmo::cli
