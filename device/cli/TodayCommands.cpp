#include "device/cli/Commands.h"

namespace velmo::cli {

// Filled in together with the device service behind it.
void AddTodayCommands(CLI::App& /*app*/) {}

}  // namespace velmo::cli
