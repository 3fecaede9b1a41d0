#pragma once
// Sending through ModemManager on the system bus (or the bus that DBUS_SYSTEM_BUS_ADDRESS
// names): Messaging.Create with the number and the text, then Sms.Send, which answers once
// the network has the message.

#include <QCoreApplication>
#include <memory>
#include <string>

#include "device/SmsSending.h"

namespace velmo::cli {

// The modem at modemPath, or when it is empty the first modem that has messaging. Each
// message looks the modem up afresh, so a modem that came back meanwhile is found.
// Needs a QCoreApplication (QtApplication gives one to a program without).
device::ModemSend ModemManagerSend(const std::string& modemPath);

// A QCoreApplication for the bus calls of a program that has none, else null.
std::unique_ptr<QCoreApplication> QtApplication();

}  // namespace velmo::cli
