#include <array>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"
#include "device/ContactStore.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "device/VCard.h"
#include "device/VisibleText.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

using device::ContactField;
using device::ContactFieldCount;

// What each field holds, in the order of ContactField, for the help text.
constexpr std::array<const char*, ContactFieldCount> FieldHelp = {
    "first name",
    "last name",
    "file-as name",
    "company name",
    "business telephone number",
    "second business telephone number",
    "home telephone number",
    "second home telephone number",
    "mobile telephone number",
    "car telephone number",
    "radio telephone number",
    "business fax number",
    "home fax number",
    "pager number",
    "first e-mail address",
    "second e-mail address",
    "third e-mail address",
};

std::string Contacts(std::size_t count) { return std::to_string(count) + (count == 1 ? " contact" : " contacts"); }

ContactField FieldAt(std::size_t index) { return static_cast<ContactField>(index); }

// Each contact with its fields and the action the handler takes for it: its entry in
// ContactsInfo.dat, or "DefActionType" for a contact the file does not hold yet.
void List() {
    RequireDevice();
    device::UseRegistryReadOnly();
    device::ContactStore store(device::ContactStore::ReadOnly);
    auto contacts = store.Load();
    if (contacts.Size() == 0) {
        std::cout << "no contacts\n";
        return;
    }
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    ContactStateFile states;
    const bool stored = settings.ContactsInfoPath(path) && states.SetPath(path) && states.OpenForReading();
    const std::int32_t byDefault = settings.GetDefActionType();
    for (std::size_t row = 0; row < contacts.Size(); ++row) {
        std::cout << contacts.Oid(row);
        for (std::size_t i = 0; i < ContactFieldCount; ++i) {
            auto text = contacts.Field(row, FieldAt(i));
            if (!text.empty())
                std::cout << "  " << device::ContactFieldName(FieldAt(i)) << "="
                          << device::VisibleText(device::ToUtf8(text));
        }
        ContactRecord record;
        std::cout << "  action="
                  << ActionText(stored && states.Find(contacts.Oid(row), record) ? record.action : byDefault) << "\n";
    }
}

}  // namespace

void AddContactsCommands(CLI::App& app) {
    auto* contacts = app.add_subcommand("contacts", "The address book: list, add, import, remove, clear");
    contacts->require_subcommand(1);

    contacts->add_subcommand("list", "Every contact with its object identifier, in collection order")->callback(List);

    auto* add = contacts->add_subcommand("add", "Add one contact and print its object identifier");
    auto fields = std::make_shared<std::array<std::string, ContactFieldCount>>();
    for (std::size_t i = 0; i < ContactFieldCount; ++i) {
        add->add_option("--" + std::string(device::ContactFieldName(FieldAt(i))), (*fields)[i],
                        std::string("The ") + FieldHelp[i]);
    }
    add->callback([fields] {
        device::ContactEntry entry;
        for (std::size_t i = 0; i < ContactFieldCount; ++i) entry.fields[i] = device::ToUtf16((*fields)[i]);
        if (entry.Empty())
            throw UsageError("contacts add needs at least one field, such as --first, --last or --mobile");
        device::ContactStore store;
        std::cout << "added contact " << store.Add(entry) << "\n";
    });

    auto* importing = contacts->add_subcommand(
        "import", "Add every contact of a vCard file (2.1, 3.0 or 4.0) that the address book does not hold yet");
    auto file = std::make_shared<std::string>();
    auto duplicates = std::make_shared<bool>(false);
    importing->add_option("FILE", *file, "The .vcf file")->required()->check(CLI::ExistingFile);
    importing->add_flag("--duplicates", *duplicates,
                        "Add also the contacts that are already there (same name and same numbers)");
    importing->callback([file, duplicates] {
        device::ContactStore store;
        auto result = device::ImportVCardFile(store, *file,
                                              *duplicates ? device::DuplicateCards::Add : device::DuplicateCards::Skip);
        for (const auto& note : result.notes) std::cout << *file << ": " << device::VisibleText(note) << "\n";
        std::cout << "imported " << Contacts(result.oids.size()) << " from " << *file;
        if (result.alreadyThere > 0) {
            std::cout << "; left out " << Contacts(result.alreadyThere)
                      << " already in the address book with the same name and numbers (--duplicates adds them)";
        }
        std::cout << "\n";
    });

    auto* remove = contacts->add_subcommand("remove", "Remove the contact with an object identifier");
    auto oid = std::make_shared<LONG>(0);
    remove->add_option("OID", *oid, "Object identifier, as contacts list shows it")
        ->required()
        ->check(CLI::Range(LONG{1}, std::numeric_limits<LONG>::max()));
    remove->callback([oid] {
        bool removed = device::ContactStore::Exists() &&
                       device::ContactStore(device::ContactStore::Open::ExistingOnly).Remove(*oid);
        if (!removed) throw std::runtime_error("no contact has the object identifier " + std::to_string(*oid));
        std::cout << "removed contact " << *oid << "\n";
    });

    contacts->add_subcommand("clear", "Remove every contact (their identifiers are not given out again)")->callback([] {
        int removed =
            device::ContactStore::Exists() ? device::ContactStore(device::ContactStore::Open::ExistingOnly).Clear() : 0;
        std::cout << "removed " << Contacts(static_cast<std::size_t>(removed)) << "\n";
    });

    AddContactActionCommand(*contacts);
}

}  // namespace velmo::cli
