#pragma once
// The command groups of velmo-device. Each group adds its subcommands to the app;
// a command reports a wrong argument by throwing UsageError (exit status 2) and
// any other failure by throwing std::runtime_error (exit status 1).

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

namespace velmo {
class ContactsConnection;
}

namespace velmo::cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void AddRegistryCommands(CLI::App& app);
void AddContactsCommands(CLI::App& app);
void AddContactActionCommand(CLI::App& contacts);  // contacts action
void AddMessageCommands(CLI::App& app);            // inbox, blocked
void AddSmsCommands(CLI::App& app);                // sms receive
void AddRulesCommands(CLI::App& app);              // rules
void AddInstallCommands(CLI::App& app);            // install, uninstall, app, where
void AddTodayCommands(CLI::App& app);              // today
void AddMessagingCommands(CLI::App& app);          // messaging
void AddSpamCommands(CLI::App& app);               // spam

// The features that weighed most towards spam in the device's model's verdict on text, as
// "\"claim now\" +2.1, link to a .top host +1.8"; empty without a model or its names.
std::string SpamReasonsFor(std::u16string_view text, std::size_t count);

// The contact's name as VelmoLight's list shows it, under the device's "ContactFormat";
// empty when no contact has the object identifier or the address book cannot be read.
std::string ContactListName(std::int32_t oid);
// The error of a command that could not point "AppPath" at the device's program directory,
// with the registry database's reason (a full disk says so).
std::runtime_error AppPathNotSet(const std::u16string& appPath);
// A registry function's result in words, with the database's own reason when it gave one.
std::string RegistryErrorText(std::int32_t rc);
// A stored action as VelmoLight's list names it: Accept, Dismiss or Silent accept.
std::string ActionText(std::int32_t action);

// Whether a typed keyword is the keyword: "Unknown" and "DISMISS" are taken as the manual
// and VelmoLight write them.
bool IsKeyword(std::string_view typed, std::string_view keyword);

// For a command that only looks: a device that is not there is told as such, rather than
// listed as empty, for a mistyped VELMO_DEVICE would otherwise look like a device without data.
void RequireDevice();

// A handheld always has an address book, empty at first, and so has the device from the
// first command that writes to it. A missing contacts.db is replaced by an empty one only
// while no ContactsInfo.dat of the device keeps a contact's action: otherwise the book was
// there and has gone, and the next rebuild from an empty one would drop those actions.
// The words that say why no empty book may take the missing one's place; empty when it may.
std::string WhyNoEmptyAddressBook();
// Makes the empty address book when it is missing and may be made; answers what it did or
// why it did not, for a person to read (empty when the book was there).
std::string CreateEmptyAddressBook();

// Opens the address book for a command that changes the contacts' actions; false when it is
// missing and an empty one may take its place (CreateEmptyAddressBook). Throws when it is
// there and cannot be opened, or is missing and may not be replaced, adding leftAsIs.
bool OpenAddressBookToChange(ContactsConnection& contacts, const std::string& leftAsIs);

// Whether VelmoLight runs on this device, found as its second start finds it: by its caption.
// While it runs it holds ContactsInfo.dat mapped, and a file put in its place would not reach it.
bool VelmoLightRuns();
void AddExportCommands(CLI::App& app);  // export, import
// The hidden --man-page FILE, which writes the manual page from the commands' own help.
void AddManPageOption(CLI::App& app);
// Ends every command's --help with the manual page to read: velmo-device(1) and the page of
// docs/ that tells of the command. Called once every command is there.
void AddManualFooters(CLI::App& app);

// The private library folder of an installed Velmo, relative to the folder of velmo-device.
extern const char kDeliverablesBesideCommand[];
// Where the deliverables to install are: that folder when this command is installed, else
// this command's own folder (the build tree).
std::filesystem::path DeliverablesDirectory();
// Installs the deliverables when the device lacks them or holds other copies of them.
void InstallWhenNeeded();
// The device's copy of VelmoLight finds its libraries by the private folder's full path, which
// an install into another prefix moves: the programs this process starts look beside the
// deliverables first.
void FindLibrariesBesideDeliverables();

// For a command that only looks, after device::UseRegistryReadOnly: an import stopped
// part-way is put in place first (the one write such a command may make, and only then),
// so that the command never shows half of one.
void FinishImportBeforeLooking();

}  // namespace velmo::cli
