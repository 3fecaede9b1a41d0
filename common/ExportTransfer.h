#pragma once
// Takes an export from the device's settings, files and address book, and applies one to
// them: what velmo-device's export and import and VelmoLight's "Export..." and "Import..." do.
// An import is checked whole before its first write, and then all or nothing: its settings
// and new files are switched in together (see FileSwitch.h), under the rebuild's lock of
// ContactsInfo.dat and Mesages.dat's own.

#include <cstddef>
#include <string>
#include <vector>

#include "common/ContactsConnection.h"
#include "common/ExportDocument.h"
#include "common/SettingsStore.h"

namespace velmo {

// Reads the export file at path (native bytes) as import does: a file that is not a regular
// one (a directory, a pipe, a device) or larger than MaxExportFileBytes is refused unread,
// and a pipe without a writer never makes it wait. Read when the file was opened and is a
// whole, valid export; otherwise error is the message for a person, naming the file, the
// place and what is wrong, and ending "; nothing was imported".
enum class ExportFileRead { Read, CannotOpen, Refused };
ExportFileRead ReadExportFile(const std::string& path, ExportDocument& document, std::string& error);

// Everything the export file holds, read from the device without changing it. False, with
// error, when a file that is there cannot be read.
bool GatherExport(SettingsStore& settings, const ContactsConnection& book, ExportDocument& document,
                  std::string& error);

// Merge keeps what the device holds and adds the file's: the contacts' actions that the file
// gives, its text rules that are not there yet, its blocked messages that are not there yet.
// Replace makes the device hold the file's: contacts the file does not give, and the unknown
// and undefined senders when it does not give them, start over from the defaults; the text
// rules and the blocked messages are the file's alone. Settings are taken in both, but
// "AppPath", which names this device's own program directory, is kept, and so are "BlockedMsg"
// and "SilentMsg", which count what happened to this device's own messages.
enum class ImportMode { Merge, Replace };

struct ImportReport {
    bool imported = false;
    bool changed = false;  // whether anything was written, even when a later write failed
    std::string error;     // why not, or what failed and what had been written before
    std::size_t contactsMatched = 0;
    std::vector<ExportedContact> unmatched;  // contacts of the file that no contact of the book matched
    std::size_t rulesAdded = 0;
    std::size_t rulesTotal = 0;
    std::size_t messagesAdded = 0;
    std::size_t messagesAlreadyThere = 0;
};

// Applies document to the device whose program directory "AppPath" names. A contact of the
// file is matched by its numbers as the handler matches a sender: the first contact of book,
// in collection order, with a number whose trailing digits match; one without numbers by its
// name among the book's contacts that have none, and one without a name either by an e-mail
// address, else by the text the contact list shows for it.
ImportReport ApplyImport(SettingsStore& settings, const ContactsConnection& book, const ExportDocument& document,
                         ImportMode mode);

// The report in words for a person, one fact a line (UTF-8).
std::string DescribeImport(const ImportReport& report);

}  // namespace velmo
