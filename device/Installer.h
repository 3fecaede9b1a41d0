#pragma once
// Installing the deliverables into the device as a handheld's installer does: the files
// are copied where they run from (libraries in Windows/, the program in Program Files/
// VelmoLight/), then the handler registers itself through its own DllRegisterServer,
// called in the loaded library. Failures throw std::runtime_error.

#include <filesystem>
#include <string>
#include <vector>

namespace velmo::device {

// Copies VelmoHandler.dll (required), VelmoToday.dll and VelmoLight.exe (when built) from
// binDir, registers the handler and, when VelmoToday is built, registers it as the Today
// item "VelmoLight Today". Without VelmoLight, which writes "AppPath" when it
// starts, "AppPath" is written here so that the handler's files have a home. Returns one
// line per step, for a person to read.
std::vector<std::string> Install(const std::filesystem::path& binDir);

// Whether the device holds every deliverable found in binDir with the same bytes, so that
// installing from binDir would change no file.
bool InstalledFrom(const std::filesystem::path& binDir);

// Unregisters the handler through its DllUnregisterServer and the Today item, and removes
// the installed files. The settings, ContactsInfo.dat and Mesages.dat stay: they are the user's.
std::vector<std::string> Uninstall();

}  // namespace velmo::device
