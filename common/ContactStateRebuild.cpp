#include "common/ContactStateRebuild.h"

#include <algorithm>

#include "common/Types.h"

namespace velmo {

ContactStateRebuild RebuildContactStates(
    ContactStateFile& file, const std::vector<std::int32_t>& keys, std::int32_t defaultAction,
    const std::function<std::int32_t(std::int32_t key, std::int32_t action)>& choose, RebuildSave save) {
    ContactStateRebuild result;
    result.contactIndex.assign(keys.size(), -1);
    if (!result.lock.Lock(ContactStateLockPath(file.Path()))) {
        // As when the new file cannot be saved: the old one stays, open as it is.
        result.opened = file.OpenForUpdate();
        return result;
    }
    auto keyed = static_cast<std::int32_t>(std::count_if(keys.begin(), keys.end(), [](auto k) { return k != 0; }));
    // The new file holds exactly the entries added, so no slot is left with key 0.
    file.BeginRebuild(keyed + 2);
    if (file.Unreadable()) {
        result.unreadable = true;
        return result;
    }
    result.unknownIndex = file.Add(UnknownSenderKey, Accept);
    result.undefinedIndex = file.Add(UndefinedSenderKey, Accept);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] != 0) result.contactIndex[i] = file.Add(keys[i], defaultAction);
    }
    if (choose) {
        for (std::int32_t i = 0; i < keyed + 2; ++i) {
            const ContactRecord entry = file.NewEntry(i);
            file.SetNewAction(i, choose(entry.key, entry.action));
        }
    }
    if (save == RebuildSave::Prepare) {
        result.saved = file.SavePrepared();
        return result;
    }
    result.saved = file.Save();
    result.opened = file.OpenForUpdate();
    return result;
}

std::u16string ContactStateLockPath(std::u16string_view path) {
    auto slash = path.rfind(u'/');
    std::size_t nameAt = slash == std::u16string_view::npos ? 0 : slash + 1;
    // Without a file name there is no file to guard, and no lock to take.
    if (nameAt == path.size()) return {};
    // A hidden name, so that it never shows among the program's files.
    return std::u16string(path.substr(0, nameAt)) + u"." + std::u16string(path.substr(nameAt)) + u".lock";
}

}  // namespace velmo
