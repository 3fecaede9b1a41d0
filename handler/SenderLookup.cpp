#include "handler/SenderLookup.h"

#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"
#include "handler/SenderKey.h"

namespace velmo {

std::int32_t LookupSenderAction(std::u16string_view senderDigits) {
    return LookupKeyAction(ResolveSenderKey(senderDigits));
}

std::int32_t LookupKeyAction(std::int32_t key) {
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    ContactStateFile file;
    ContactRecord record;
    // Without "AppPath" there is no file to read: a bare name would be looked for wherever the host runs.
    const bool found =
        settings.ContactsInfoPath(path) && file.SetPath(path) && file.OpenForReading() && file.Find(key, record);
    file.Close();
    return found ? record.action : settings.GetDefActionType();
}

}  // namespace velmo
