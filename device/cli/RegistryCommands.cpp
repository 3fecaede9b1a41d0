#include "device/cli/Commands.h"

namespace velmo::cli {

// Filled in together with the device service behind it.
void AddRegistryCommands(CLI::App& /*app*/) {}

}  // namespace velmo::cli
