#pragma once
// The rebuild of ContactsInfo.dat from the address book, as VelmoLight's list load makes it
// and as the device command repeats it: the Unknown and Undefined entries first (Accept
// when new), then one entry per contact in address-book order, each keeping the action it
// had and new contacts getting the default action.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ContactStateFile.h"
#include "device/LockFile.h"

namespace velmo {

struct ContactStateRebuild {
    bool saved = false;   // whether the new file replaced the old one
    bool opened = false;  // whether the file at the path is then open for update
    // The old file is there but could not be opened or read: nothing was written, and
    // nothing is open.
    bool unreadable = false;
    // Held until the caller lets it go (not held when it could not be taken): another
    // rebuild, in this process or any other, waits for it, so that it starts from this
    // one's result and from any change the caller makes to the new file before letting go.
    device::LockFile lock;
    std::int32_t unknownIndex = -1;
    std::int32_t undefinedIndex = -1;
    std::vector<std::int32_t> contactIndex;  // the entry of each key given; -1 for key 0
};

// keys are the contacts' object identifiers in collection order; 0 stands for a contact
// whose identifier could not be read, which gets no entry (key 0 marks an unfilled slot).
// The file is saved and then opened for update; when it cannot be replaced, the old file
// stays and the indexes name entries that were never written. No lock, no rebuild: when
// the lock beside the file cannot be taken, nothing is written and the old file is opened
// for update as it is.
// choose, when given, decides each entry's action before the save from its key and the
// action the rebuild gave it, so that a change of many actions is one replacement of the file.
// With RebuildSave::Prepare the new file is only prepared for a switch (saved says whether it
// was), and nothing is opened.
enum class RebuildSave { Replace, Prepare };
ContactStateRebuild RebuildContactStates(
    ContactStateFile& file, const std::vector<std::int32_t>& keys, std::int32_t defaultAction,
    const std::function<std::int32_t(std::int32_t key, std::int32_t action)>& choose = {},
    RebuildSave save = RebuildSave::Replace);

// The lock that every rebuild of the file at path holds: a hidden file beside it; empty
// when path names no file.
std::u16string ContactStateLockPath(std::u16string_view path);

}  // namespace velmo
