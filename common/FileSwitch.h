#pragma once
// Several of the program's files and settings changed as one: an import prepares every new
// file beside its target, records the switch (the settings to write and the files to rename)
// in one journal, and carries it out. A process stopped anywhere before the journal leaves
// the old state whole; one stopped after it leaves a switch that the next user of the files
// finishes (the handler at its next message, the next change of a file), so the new state
// is then whole too. Those who wait on a switch wait for its renames only.

#include <string>
#include <string_view>
#include <vector>

#include "device/Registry.h"

namespace velmo {

// The journal, in the program directory beside the files; present only while a switch is
// recorded and not yet finished.
inline constexpr const char* FileSwitchJournalName = ".import-switch.txt";

// The directory of a file's path, up to and including its last '/'.
std::u16string DirectoryOf(std::u16string_view path);

// The native path where the prepared new file of target waits for its switch (".NAME.switch"
// beside it).
std::string SwitchPreparedPath(std::u16string_view target);

// A prepared file and the file it replaces, both native paths in directory.
struct SwitchedFile {
    std::string prepared;
    std::string target;
};

// NotRecorded: the journal could not be written and nothing changed. Finished: every setting
// and file is the new one. Recorded: the switch stopped part-way (a file could not be
// renamed, the registry could not be written) and the next FinishFileSwitch carries it on.
enum class SwitchResult { NotRecorded, Finished, Recorded };

// Records and carries out the switch of files in directory, writing settings (values of the
// settings key) first.
SwitchResult SwitchFiles(std::u16string_view directory, const std::vector<device::RegistryValue>& settings,
                         const std::vector<SwitchedFile>& files);

// Finishes a switch that its process did not; with none recorded it costs one stat. False
// when one is recorded and cannot be finished now (a device this process may not write).
bool FinishFileSwitch(std::u16string_view directory);

}  // namespace velmo
