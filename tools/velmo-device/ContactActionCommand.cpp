#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "common/ContactStateFile.h"
#include "common/ContactStateRebuild.h"
#include "common/ContactsConnection.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ContactStore.h"
#include "device/DeviceRoot.h"
#include "device/Text.h"
#include "tools/velmo-device/Commands.h"

#if VELMO_HAVE_APP
#include <QCoreApplication>

#include "app/resources/StringTable.h"
#include "app/ui/WindowPresence.h"
#endif

namespace velmo::cli {

namespace {

struct ActionName {
    const char* name;
    FilterAction action;
};
constexpr ActionName ActionNames[] = {{"accept", Accept}, {"silent", SilentAccept}, {"dismiss", Dismiss}};

std::int32_t ParseKey(const std::string& text) {
    if (IsKeyword(text, "unknown")) return UnknownSenderKey;
    if (IsKeyword(text, "undefined")) return UndefinedSenderKey;
    std::size_t used = 0;
    long oid = 0;
    try {
        oid = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || oid < 1 || oid > INT32_MAX) {
        throw UsageError("\"" + text + "\" is neither a contact's object identifier nor unknown or undefined");
    }
    return static_cast<std::int32_t>(oid);
}

FilterAction ParseAction(const std::string& text) {
    for (const auto& entry : ActionNames) {
        if (IsKeyword(text, entry.name)) return entry.action;
    }
    throw UsageError("\"" + text + "\" is no action: accept, silent or dismiss");
}

// What VelmoLight does when it starts and loads its contact list: "AppPath" for its own
// directory, then ContactsInfo.dat rebuilt from the address book keeping earlier choices
// (the fixed rows start as Accept, new contacts with "DefActionType"). The rebuild's lock
// is still held when this returns, so that no other rebuild starts before the caller's
// change is in the file.
ContactStateRebuild RebuildAsTheAppDoes(ContactStateFile& file, const std::vector<std::int32_t>& keys) {
    SettingsStore settings;
    std::filesystem::create_directories(device::ProgramDirectory());
    std::u16string appPath = device::ToUtf16(device::ProgramDirectory().string() + "/");
    char16_t path[MAX_PATH] = {};
    if (!settings.SetAppPath(appPath.c_str()) || !settings.ContactsInfoPath(path) || !file.SetPath(path)) {
        throw AppPathNotSet(appPath);
    }
    ContactStateRebuild rebuilt = RebuildContactStates(file, keys, settings.GetDefActionType());
    if (!rebuilt.lock.Held()) {
        throw std::runtime_error("cannot lock " + device::ToUtf8(ContactStateLockPath(path)) + ": nothing was changed");
    }
    if (rebuilt.unreadable) {
        throw std::runtime_error(device::ToUtf8(path) + " is there but cannot be read: nothing was changed");
    }
    if (!rebuilt.saved || !rebuilt.opened) throw std::runtime_error("cannot write " + device::ToUtf8(path));
    return rebuilt;
}

void SetAction(const std::string& keyText, const std::string& actionText) {
    std::int32_t key = ParseKey(keyText);
    FilterAction action = ParseAction(actionText);
    // A running VelmoLight writes its taps into the file it mapped; a rebuild here would put
    // a new file under it, and its taps would reach no one.
    if (VelmoLightRuns()) {
        throw std::runtime_error(
            "VelmoLight is running on this device: give the action there, or close it first; "
            "ContactsInfo.dat is left as it is");
    }
    ContactsConnection contacts;
    const bool bookMissing = !OpenAddressBookToChange(contacts, "ContactsInfo.dat is left as it is");
    std::vector<std::int32_t> keys = contacts.Keys();
    contacts.Close();
    // Every argument is checked before anything is written.
    auto found = std::find(keys.begin(), keys.end(), key);
    if (key != UnknownSenderKey && key != UndefinedSenderKey && found == keys.end()) {
        throw UsageError("no contact has the object identifier " + keyText);
    }
    if (bookMissing) CreateEmptyAddressBook();
    ContactStateFile file;
    ContactStateRebuild rebuilt = RebuildAsTheAppDoes(file, keys);
    std::int32_t index = key == UnknownSenderKey ? rebuilt.unknownIndex : rebuilt.undefinedIndex;
    if (key != UnknownSenderKey && key != UndefinedSenderKey) {
        index = rebuilt.contactIndex[static_cast<std::size_t>(found - keys.begin())];
    }
    if (!file.SetAt(index, ContactRecord{action, key})) throw std::runtime_error("cannot change ContactsInfo.dat");
    file.Close();
    const char* keyName = key == UnknownSenderKey ? "unknown" : key == UndefinedSenderKey ? "undefined" : nullptr;
    const auto named = std::find_if(std::begin(ActionNames), std::end(ActionNames),
                                    [action](const ActionName& entry) { return entry.action == action; });
    std::cout << "ContactsInfo.dat: " << (keyName != nullptr ? keyName : std::to_string(key)) << " " << named->name
              << "\n";
}

}  // namespace

bool VelmoLightRuns() {
#if VELMO_HAVE_APP
    // The socket's wait needs an application object; it lives only for the question.
    int argc = 1;
    char name[] = "velmo-device";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) application = std::make_unique<QCoreApplication>(argc, argv);
    return ForeignWindow::Find(QString::fromStdU16String(std::u16string(LoadStringResource(IDS_CAPTION)))) != nullptr;
#else
    return false;
#endif
}

void AddContactActionCommand(CLI::App& contacts) {
    auto* action = contacts.add_subcommand(
        "action",
        "Give a contact, the unknown or the undefined sender an action, as VelmoLight does: rebuild "
        "ContactsInfo.dat from the address book keeping earlier choices, then change that one entry");
    auto key = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    action->add_option("KEY", *key, "A contact's object identifier (contacts list), unknown or undefined")->required();
    action->add_option("ACTION", *name, "accept, silent or dismiss")->required();
    action->callback([key, name] { SetAction(*key, *name); });
}

}  // namespace velmo::cli
