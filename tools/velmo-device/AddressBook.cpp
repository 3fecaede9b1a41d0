#include <string>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/ContactsConnection.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ContactStore.h"
#include "device/DeviceRoot.h"
#include "device/ErrorText.h"
#include "device/Text.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

// The ContactsInfo.dat files that a rebuild could replace: the one "AppPath" names and the
// one of the installed program, which "AppPath" names once VelmoLight has started there.
std::vector<std::u16string> ContactStatePaths() {
    std::vector<std::u16string> paths;
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    if (settings.ContactsInfoPath(path)) paths.emplace_back(path);
    paths.push_back(device::ToUtf16((device::ProgramDirectory() / "ContactsInfo.dat").string()));
    return paths;
}

// The contacts whose actions the file keeps; -1 when it is there but cannot be read, for
// then it may keep any number.
int KeptContactActions(const std::u16string& path) {
    ContactStateFile file;
    if (!file.SetPath(path)) return 0;
    if (!file.OpenForReading()) return file.Unreadable() ? -1 : 0;
    int kept = 0;
    for (std::int32_t i = 0; i < file.Count(); ++i) {
        ContactRecord record;
        if (file.GetAt(i, record) && record.key != UnknownSenderKey && record.key != UndefinedSenderKey &&
            record.key != 0) {
            ++kept;
        }
    }
    return kept;
}

}  // namespace

std::string WhyNoEmptyAddressBook() {
    for (const auto& path : ContactStatePaths()) {
        int kept = KeptContactActions(path);
        if (kept == 0) continue;
        std::string what =
            kept < 0 ? " is there but cannot be read"
                     : " keeps the actions of " + std::to_string(kept) + (kept == 1 ? " contact" : " contacts");
        return "the address book contacts.db is missing, but " + device::ToUtf8(path) + what +
               ": an empty address book in its place would drop them; put contacts.db back, or add the contacts again";
    }
    return {};
}

bool OpenAddressBookToChange(ContactsConnection& contacts, const std::string& leftAsIs) {
    if (contacts.Open()) return true;
    if (device::ContactStore::Exists()) {
        throw std::runtime_error("cannot open the address book " + (device::DeviceRoot() / "contacts.db").string() +
                                 " (" + device::HresultText(contacts.OpenFailure()) + ")");
    }
    if (std::string why = WhyNoEmptyAddressBook(); !why.empty()) throw std::runtime_error(why + "; " + leftAsIs);
    return false;
}

std::string CreateEmptyAddressBook() {
    if (device::ContactStore::Exists()) return {};
    if (std::string why = WhyNoEmptyAddressBook(); !why.empty()) return why;
    device::ContactStore created;
    return "created the address book " + (device::DeviceRoot() / "contacts.db").string() + ", empty";
}

}  // namespace velmo::cli
