#pragma once
// The rebuild of ContactsInfo.dat from the address book, as VelmoLight's list load makes it
// and as the device command repeats it: the Unknown and Undefined entries first (Accept
// when new), then one entry per contact in address-book order, each keeping the action it
// had and new contacts getting the default action.

#include <cstdint>
#include <vector>

#include "common/ContactStateFile.h"

namespace velmo {

struct ContactStateRebuild {
    bool saved = false;   // whether the new file replaced the old one
    bool opened = false;  // whether the file at the path is then open for update
    std::int32_t unknownIndex = -1;
    std::int32_t undefinedIndex = -1;
    std::vector<std::int32_t> contactIndex;  // the entry of each key given; -1 for key 0
};

// keys are the contacts' object identifiers in collection order; 0 stands for a contact
// whose identifier could not be read, which gets no entry (key 0 marks an unfilled slot).
// The file is saved and then opened for update; when it cannot be replaced, the old file
// stays and the indexes name entries that were never written.
ContactStateRebuild RebuildContactStates(ContactStateFile& file, const std::vector<std::int32_t>& keys,
                                         std::int32_t defaultAction);

}  // namespace velmo
