#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "common/ContactsConnection.h"
#include "common/ExportDocument.h"
#include "common/ExportTransfer.h"
#include "common/FileSwitch.h"
#include "common/SettingsStore.h"
#include "device/ContactStore.h"
#include "device/DeviceRoot.h"
#include "device/ErrorText.h"
#include "device/Files.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

struct ImportOptions {
    std::string file;
    bool merge = false;
    bool replace = false;
};

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Only looks at the device; the one file written is the export.
void Export(const std::string& file) {
    RequireDevice();
    device::UseRegistryReadOnly();
    FinishImportBeforeLooking();
    SettingsStore settings;
    ContactsConnection book;
    if (!book.Open() && device::ContactStore::Exists()) {
        throw std::runtime_error("cannot open the address book " + (device::DeviceRoot() / "contacts.db").string() +
                                 " (" + device::HresultText(book.OpenFailure()) + "): nothing was exported");
    }
    ExportDocument document;
    std::string error;
    if (!GatherExport(settings, book, document, error)) throw std::runtime_error(error);
    book.Close();
    const std::string text = SerializeExport(document);
    errno = 0;
    if (!device::ReplaceFileAtomically(device::ToUtf16(file), text.data(), text.size())) {
        throw std::runtime_error("cannot write " + file + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
    }
    std::cout << "exported the settings, " << Count(document.contacts.size(), "contact's action", "contacts' actions")
              << ", " << Count(document.textRules.size(), "text rule", "text rules") << " and "
              << Count(document.blockedMessages.size(), "blocked message", "blocked messages") << " to " << file
              << "\n";
}

void Import(const ImportOptions& options) {
    ExportDocument document;
    std::string error;
    switch (ReadExportFile(options.file, document, error)) {
        case ExportFileRead::Read: break;
        case ExportFileRead::CannotOpen: throw UsageError(error);
        case ExportFileRead::Refused: throw std::runtime_error(error);
    }
    if (VelmoLightRuns()) {
        throw std::runtime_error(
            "VelmoLight is running on this device: import there (Options, Import...), or close "
            "it first; nothing was imported");
    }
    ContactsConnection book;
    const bool bookMissing = !OpenAddressBookToChange(book, "nothing was imported");
    if (bookMissing) {
        CreateEmptyAddressBook();
        book.Open();
    }
    // The files go where VelmoLight keeps them; a device where it never ran gets the directory its start would set.
    SettingsStore settings;
    char16_t appPath[MAX_PATH] = {};
    if (!settings.GetAppPath(appPath)) {
        std::filesystem::create_directories(device::ProgramDirectory());
        const std::u16string directory = device::ToUtf16(device::ProgramDirectory().string() + "/");
        if (!settings.SetAppPath(directory.c_str())) {
            throw AppPathNotSet(directory);
        }
    }
    const ImportReport report =
        ApplyImport(settings, book, document, options.replace ? ImportMode::Replace : ImportMode::Merge);
    if (!report.imported) throw std::runtime_error(report.error);
    std::cout << DescribeImport(report);
}

}  // namespace

void FinishImportBeforeLooking() {
    SettingsStore settings;
    char16_t appPath[MAX_PATH] = {};
    if (!settings.GetAppPath(appPath)) return;
    std::error_code ec;
    if (!std::filesystem::exists(device::NativePath(appPath) + FileSwitchJournalName, ec)) return;
    device::UseRegistryReadOnly(false);
    FinishFileSwitch(appPath);
    device::UseRegistryReadOnly(true);
}

void AddExportCommands(CLI::App& app) {
    auto* exporting = app.add_subcommand(
        "export",
        "Write the settings, the contacts' actions (with each contact's name and numbers), the text rules "
        "and the blocked messages to one JSON file, for import on another device");
    auto file = std::make_shared<std::string>();
    exporting->add_option("FILE", *file, "The file to write (replaced whole)")->required();
    exporting->callback([file] { Export(*file); });

    auto* importing = app.add_subcommand(
        "import",
        "Read a file that export wrote; the whole file is checked first, and nothing is written when any of "
        "it is wrong");
    auto options = std::make_shared<ImportOptions>();
    importing->add_option("FILE", options->file, "The file export wrote")->required();
    auto* merge = importing->add_flag(
        "--merge", options->merge,
        "Keep what the device holds and add the file's (the default): its contacts' actions, its text rules and "
        "blocked messages that are not there yet");
    importing
        ->add_flag("--replace", options->replace,
                   "Make the device hold the file's: other contacts start from the default action, and the text "
                   "rules and blocked messages are the file's alone")
        ->excludes(merge);
    importing->callback([options] { Import(*options); });
}

}  // namespace velmo::cli
