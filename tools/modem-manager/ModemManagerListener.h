#pragma once
// `sms listen --modem-manager`: receives the SMS of the modems that ModemManager drives,
// from the system bus (or the bus that DBUS_SYSTEM_BUS_ADDRESS names).

#include <functional>
#include <string>

#include "device/SmsTransport.h"

namespace velmo::cli {

// Stores one message on the device and reports it; throws when it cannot be stored.
using SmsSink = std::function<void(const device::IncomingSms&)>;

// Serves every modem with messaging, or only the one at modemPath when it is not empty,
// until SIGTERM or SIGINT. Throws std::runtime_error when it cannot start.
void ListenToModemManager(const std::string& modemPath, const SmsSink& receive);

}  // namespace velmo::cli
