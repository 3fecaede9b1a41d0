#include "common/ContactStateRebuild.h"

#include <algorithm>

#include "common/Types.h"

namespace velmo {

ContactStateRebuild RebuildContactStates(ContactStateFile& file, const std::vector<std::int32_t>& keys,
                                         std::int32_t defaultAction) {
    ContactStateRebuild result;
    auto keyed = static_cast<std::int32_t>(std::count_if(keys.begin(), keys.end(), [](auto k) { return k != 0; }));
    // The new file holds exactly the entries added, so no slot is left with key 0.
    file.BeginRebuild(keyed + 2);
    result.unknownIndex = file.Add(UnknownSenderKey, Accept);
    result.undefinedIndex = file.Add(UndefinedSenderKey, Accept);
    result.contactIndex.reserve(keys.size());
    for (std::int32_t key : keys) result.contactIndex.push_back(key != 0 ? file.Add(key, defaultAction) : -1);
    result.saved = file.Save();
    result.opened = file.OpenForUpdate();
    return result;
}

}  // namespace velmo
