#pragma once
// `sms listen --modem-manager`: receives the SMS of the modems that ModemManager drives,
// from the system bus (or the bus that DBUS_SYSTEM_BUS_ADDRESS names).

#include <string>
#include <string_view>

#include "tools/modem-manager/ModemIntake.h"

namespace velmo::cli {

// Whether text is a D-Bus object path: "/" or "/"-separated elements of A-Z, a-z, 0-9 and "_".
bool IsObjectPath(std::string_view text);

// Serves every modem with messaging, or only the one at modemPath when it is not empty,
// until SIGTERM or SIGINT, connecting again when the bus goes and comes back. Throws
// std::runtime_error when it cannot start.
void ListenToModemManager(const std::string& modemPath, ModemIntake& intake);

}  // namespace velmo::cli
