#include "common/ExportTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>

#include "common/BlockedMessageTexts.h"
#include "common/ContactStateFile.h"
#include "common/ContactStateRebuild.h"
#include "common/FileSwitch.h"
#include "common/PhoneDigits.h"
#include "device/Clock.h"
#include "device/Files.h"
#include "device/Text.h"
#include "device/VisibleText.h"

namespace velmo {

namespace {

struct BookContact {
    std::int32_t key = 0;
    std::u16string name;
    std::vector<std::u16string> numbers;
    std::vector<std::u16string> emails;
    std::u16string shown;
};

std::u16string Field(IContact* contact, HRESULT (IContact::*getter)(BSTR*)) {
    BSTR text = nullptr;
    if (FAILED((contact->*getter)(&text)) || text == nullptr) return {};
    std::u16string value(text);
    SysFreeString(text);
    return value;
}

// "First Last", else the file-as text, else the company: what a person recognises the contact by.
std::u16string ContactName(IContact* contact) {
    std::u16string name = Field(contact, &IContact::get_FirstName);
    const std::u16string last = Field(contact, &IContact::get_LastName);
    if (!name.empty() && !last.empty()) name += u' ';
    name += last;
    if (name.empty()) name = Field(contact, &IContact::get_FileAs);
    if (name.empty()) name = Field(contact, &IContact::get_CompanyName);
    return name;
}

// For a contact without a name or a compared number: its e-mail addresses, and what the contact
// list shows for it (its radio number, else its first e-mail address).
void ReadOtherIdentity(IContact* contact, BookContact& entry) {
    for (auto getter : {&IContact::get_Email1Address, &IContact::get_Email2Address, &IContact::get_Email3Address}) {
        std::u16string email = Field(contact, getter);
        if (!email.empty()) entry.emails.push_back(std::move(email));
    }
    entry.shown = Field(contact, &IContact::get_RadioTelephoneNumber);
    if (entry.shown.empty() && !entry.emails.empty()) entry.shown = entry.emails.front();
}

std::vector<BookContact> ReadBook(const ContactsConnection& book) {
    std::vector<BookContact> contacts;
    const int count = book.Count();
    for (int index = 1; index <= count; ++index) {
        IContact* contact = book.Item(index);
        BookContact entry;
        LONG oid = 0;
        if (contact != nullptr) {
            if (SUCCEEDED(contact->get_Oid(&oid)))
                entry = {oid, ContactName(contact), CallerIdNumbers(contact), {}, {}};
            if (entry.key != 0 && entry.name.empty() && entry.numbers.empty()) ReadOtherIdentity(contact, entry);
            contact->Release();
        }
        contacts.push_back(std::move(entry));
    }
    return contacts;
}

std::vector<std::int32_t> KeysOf(const std::vector<BookContact>& contacts) {
    std::vector<std::int32_t> keys;
    for (const auto& contact : contacts) keys.push_back(contact.key);
    return keys;
}

bool IsFixedKey(std::int32_t key) { return key == UnknownSenderKey || key == UndefinedSenderKey; }

// The book's contact that the file's contact stands for, as the handler would find it by each
// of its numbers in turn; 0 for none.
std::int32_t Match(const ExportedContact& wanted, const std::vector<BookContact>& book) {
    for (const auto& number : wanted.numbers) {
        const std::u16string digits = KeepDigits(number);
        if (digits.empty()) continue;
        for (const auto& contact : book) {
            if (contact.key == 0) continue;
            for (const auto& candidate : contact.numbers) {
                if (TrailingDigitsMatch(digits, KeepDigits(candidate))) return contact.key;
            }
        }
    }
    if (!wanted.numbers.empty()) return 0;
    for (const auto& contact : book) {
        if (contact.key == 0 || !contact.numbers.empty() || contact.name != wanted.name) continue;
        if (!wanted.name.empty()) return contact.key;
        // Nameless too: the same e-mail address, else the same text in the list.
        for (const auto& email : wanted.emails) {
            if (std::find(contact.emails.begin(), contact.emails.end(), email) != contact.emails.end())
                return contact.key;
        }
    }
    if (!wanted.name.empty() || wanted.shown.empty()) return 0;
    for (const auto& contact : book) {
        if (contact.key != 0 && contact.numbers.empty() && contact.name.empty() && contact.shown == wanted.shown) {
            return contact.key;
        }
    }
    return 0;
}

// Two records of one message: the same texts, whole, and the same delivery time.
bool SameMessage(const BlockedMessageRecord& a, std::u16string_view aText, const BlockedMessageRecord& b,
                 std::u16string_view bText) {
    return device::Join(a.deliveryTime) == device::Join(b.deliveryTime) &&
           RecordText(a.senderAddress) == RecordText(b.senderAddress) && aText == bText &&
           RecordText(a.senderName) == RecordText(b.senderName);
}

bool ReadBlockedMessages(const std::u16string& path, std::vector<BlockedMessageRecord>& records, std::string& error) {
    device::MappedFile file;
    if (!file.Open(path, device::MappedFile::Mode::ReadOnly)) {
        if (file.LastError() == ENOENT) return true;
        error = "cannot read " + device::ToUtf8(path) + ": " + std::strerror(file.LastError());
        return false;
    }
    const std::size_t header = BlockedMessageFile::kHeaderSize;
    const std::size_t count = file.Size() < header ? 0 : (file.Size() - header) / BlockedMessageFile::kRecordSize;
    records.resize(count);
    if (count > 0) std::memcpy(records.data(), file.Data() + header, count * BlockedMessageFile::kRecordSize);
    return true;
}

std::u16string FilePath(SettingsStore& settings, const char16_t* name) {
    char16_t path[MAX_PATH] = {};
    return settings.AppFilePath(name, path) ? std::u16string(path) : std::u16string();
}

// The settings an import writes, in the form their setters give them; "AppPath" is kept.
std::vector<device::RegistryValue> SettingsValues(const ExportedSettings& s) {
    auto dword = [](const char16_t* name, DWORD value) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&value);
        return device::RegistryValue{name, REG_DWORD, {bytes, bytes + sizeof value}};
    };
    auto shortValue = [&](const char16_t* name, std::int16_t value) {
        return dword(name, static_cast<DWORD>(static_cast<std::int32_t>(value)));
    };
    auto time = [](const char16_t* name, const TimeOfDay& value) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&value);
        return device::RegistryValue{name, REG_BINARY, {bytes, bytes + sizeof value}};
    };
    return {shortValue(ActiveStateValue, s.activeState),
            shortValue(ItemsStateValue, s.itemsState),
            shortValue(DefActionTypeValue, s.defActionType),
            shortValue(ContactFormatValue, s.contactFormat),
            time(StartTimeValue, s.startTime),
            time(EndTimeValue, s.endTime),
            dword(WeekDaysValue, s.weekDays),
            shortValue(DeleteTimeTypeValue, s.deleteTimeType)};
}

// The blocked messages after the import, from those held, each with its whole text beside it
// (texts[i] for held[i]); false when they stay as they are.
bool MergeMessages(std::vector<BlockedMessageRecord>& held, std::vector<std::u16string>& texts,
                   const ExportDocument& document, bool replace, ImportReport& report) {
    struct Message {
        BlockedMessageRecord record;
        std::u16string text;
    };
    std::vector<Message> fresh;
    for (std::size_t i = 0; i < document.blockedMessages.size(); ++i) {
        const BlockedMessageRecord& record = document.blockedMessages[i];
        Message message{record, i < document.blockedTexts.size() ? document.blockedTexts[i]
                                                                 : std::u16string(RecordText(record.subject))};
        bool there = false;
        for (std::size_t h = 0; !replace && !there && h < held.size(); ++h) {
            there = SameMessage(held[h], texts[h], message.record, message.text);
        }
        if (there) {
            ++report.messagesAlreadyThere;
        } else {
            fresh.push_back(std::move(message));
        }
    }
    report.messagesAdded = fresh.size();
    if (!replace && fresh.empty()) return false;
    std::vector<Message> kept;
    for (std::size_t h = 0; !replace && h < held.size(); ++h) kept.push_back({held[h], texts[h]});
    // Oldest first, as the purge by age expects; those already there keep their order (and
    // a replacement the file's).
    std::vector<Message> merged;
    merged.reserve(kept.size() + fresh.size());
    std::merge(kept.begin(), kept.end(), fresh.begin(), fresh.end(), std::back_inserter(merged),
               [](const Message& a, const Message& b) {
                   return device::Join(a.record.deliveryTime) < device::Join(b.record.deliveryTime);
               });
    held.clear();
    texts.clear();
    for (auto& message : merged) {
        held.push_back(message.record);
        texts.push_back(std::move(message.text));
    }
    return true;
}

}  // namespace

bool GatherExport(SettingsStore& settings, const ContactsConnection& book, ExportDocument& document,
                  std::string& error) {
    document = {};
    ExportedSettings& s = document.settings;
    char16_t appPath[MAX_PATH] = {};
    if (settings.GetAppPath(appPath)) s.appPath = std::u16string(appPath);
    s.activeState = settings.GetActiveState();
    s.itemsState = settings.GetItemsState();
    s.defActionType = settings.GetDefActionType();
    s.contactFormat = settings.GetContactFormat();
    settings.GetStartTime(s.startTime);
    settings.GetEndTime(s.endTime);
    s.weekDays = settings.GetWeekDays();
    s.deleteTimeType = settings.GetDeleteTimeType();
    s.blockedMsg = settings.GetBlockedMsg();
    s.silentMsg = settings.GetSilentMsg();
    // Without "AppPath" VelmoLight has never run here, and there are no files to take.
    if (!s.appPath) return true;

    ContactStateFile states;
    const std::u16string statesPath = FilePath(settings, ContactsInfoFileName);
    if (states.SetPath(statesPath) && !states.OpenForReading() && states.Unreadable()) {
        error = device::ToUtf8(statesPath) + " is there but cannot be read: nothing was exported";
        return false;
    }
    std::unordered_map<std::int32_t, BookContact> byKey;
    if (states.Count() > 0) {
        for (auto& contact : ReadBook(book)) {
            if (contact.key != 0) byKey.emplace(contact.key, std::move(contact));
        }
    }
    for (std::int32_t i = 0; i < states.Count(); ++i) {
        ContactRecord record;
        // Key 0 marks a slot that a rebuild left unfilled; it stands for no one.
        if (!states.GetAt(i, record) || record.key == 0) continue;
        ExportedContact contact{record.key, record.action, {}, {}, {}, {}};
        auto found = byKey.find(record.key);
        // A contact gone from the address book has no action left to take anywhere.
        if (!IsFixedKey(record.key) && found == byKey.end() && book.IsOpen()) continue;
        if (found != byKey.end() && !IsFixedKey(record.key)) {
            contact.name = found->second.name;
            contact.numbers = found->second.numbers;
            contact.emails = found->second.emails;
            contact.shown = found->second.shown;
        }
        document.contacts.push_back(std::move(contact));
    }
    states.Close();

    document.textRules = ReadTextRules(FilePath(settings, TextRulesFileName));
    const std::u16string messagesPath = FilePath(settings, MessagesFileName);
    if (!ReadBlockedMessages(messagesPath, document.blockedMessages, error)) {
        error += ": nothing was exported";
        return false;
    }
    // Read after the records, as an entry is written before its record.
    std::vector<WholeTextEntry> entries;
    if (!ReadWholeTexts(WholeTextsPath(messagesPath), entries)) {
        error = "cannot read " + device::ToUtf8(WholeTextsPath(messagesPath)) + ": nothing was exported";
        return false;
    }
    document.blockedTexts = WholeSubjects(document.blockedMessages, entries);
    return true;
}

ExportFileRead ReadExportFile(const std::string& path, ExportDocument& document, std::string& error) {
    const std::string nothing = "; nothing was imported";
    // Without a writer a pipe would block an open for reading, and a device read with no end.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno) + nothing;
        return ExportFileRead::CannotOpen;
    }
    std::string text;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno) + nothing;
    } else if (S_ISDIR(st.st_mode)) {
        error = path + ": is a directory, not an export file" + nothing;
    } else if (!S_ISREG(st.st_mode)) {
        error = path + ": is no regular file (a pipe, a socket or a device), not an export file" + nothing;
    } else if (static_cast<std::uintmax_t>(st.st_size) > MaxExportFileBytes) {
        error = path + ": larger than " + std::to_string(MaxExportFileBytes >> 20) + " MB, which no export comes near" +
                nothing;
    } else {
        // Read to one byte past the bound, so that a file growing meanwhile cannot pass it either.
        text.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t got = 0;
        for (;;) {
            if (got == text.size()) {
                if (text.size() > MaxExportFileBytes) break;
                text.resize(std::min<std::size_t>(2 * text.size(), MaxExportFileBytes + 1));
            }
            const ssize_t n = read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = path + ": cannot be read: " + std::strerror(errno) + nothing;
                break;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        text.resize(got);
        if (error.empty() && got > MaxExportFileBytes) {
            error = path + ": larger than " + std::to_string(MaxExportFileBytes >> 20) +
                    " MB, which no export comes near" + nothing;
        }
    }
    close(fd);
    if (!error.empty()) return ExportFileRead::Refused;
    if (!ParseExport(text, document, error)) {
        error = path + ": " + error + nothing;
        return ExportFileRead::Refused;
    }
    return ExportFileRead::Read;
}

ImportReport ApplyImport(SettingsStore& settings, const ContactsConnection& book, const ExportDocument& document,
                         ImportMode mode) {
    ImportReport report;
    const bool replace = mode == ImportMode::Replace;
    const std::u16string statesPath = FilePath(settings, ContactsInfoFileName);
    const std::u16string rulesPath = FilePath(settings, TextRulesFileName);
    const std::u16string messagesPath = FilePath(settings, MessagesFileName);
    if (statesPath.empty() || rulesPath.empty() || messagesPath.empty()) {
        report.error = "\"AppPath\" cannot be read: there is no program directory to import into; nothing was imported";
        return report;
    }

    // An earlier import stopped part-way is put in place first: this one starts from its result.
    if (!FinishFileSwitch(DirectoryOf(statesPath))) {
        report.error = "an earlier import recorded in " + device::ToUtf8(DirectoryOf(statesPath)) +
                       " cannot be put in place: nothing was imported";
        return report;
    }
    // Everything is decided before the first write.
    {
        ContactStateFile states;
        if (states.SetPath(statesPath) && !states.OpenForReading() && states.Unreadable()) {
            report.error = device::ToUtf8(statesPath) + " is there but cannot be read: nothing was imported";
            return report;
        }
    }
    std::vector<TextRule> rules = replace ? std::vector<TextRule>{} : ReadTextRules(rulesPath);
    const std::size_t rulesBefore = rules.size();
    for (const auto& rule : document.textRules) {
        if (replace || std::find(rules.begin(), rules.end(), rule) == rules.end()) rules.push_back(rule);
    }
    report.rulesAdded = rules.size() - rulesBefore;
    report.rulesTotal = rules.size();
    if (rules.size() > MaxTextRules) {
        report.error = "the text rules would number " + std::to_string(rules.size()) +
                       ", and at most 64 are kept: nothing was imported; import with --replace, or remove rules first";
        return report;
    }
    const std::vector<BookContact> contacts = ReadBook(book);
    // Later entries for one contact win, as in a rebuild of ContactsInfo.dat.
    std::map<std::int32_t, std::int32_t> actions;
    for (const auto& contact : document.contacts) {
        std::int32_t key = IsFixedKey(contact.key) ? contact.key : Match(contact, contacts);
        if (key == 0) {
            report.unmatched.push_back(contact);
            continue;
        }
        if (!IsFixedKey(key)) ++report.contactsMatched;
        actions[key] = contact.action;
    }

    const ExportedSettings& s = document.settings;
    const std::vector<device::RegistryValue> values = SettingsValues(s);
    const std::u16string directory = DirectoryOf(statesPath);
    auto failed = [&](const std::u16string& path) {
        report.messagesAdded = report.messagesAlreadyThere = 0;
        report.error = "cannot write " + device::ToUtf8(path) + ": nothing was imported";
        return report;
    };
    // Every new file is prepared beside its target, then all of them and the settings are
    // switched in one recorded step: an import stopped anywhere leaves the old state or the new.
    std::vector<SwitchedFile> files;
    auto prepared = [&files](const std::u16string& path) {
        files.push_back({SwitchPreparedPath(path), device::NativePath(path)});
    };
    auto removePrepared = [&files] {
        for (const auto& file : files) ::unlink(file.prepared.c_str());
    };

    // The rebuild's lock is held until the switch is done, so no other rebuild starts from the old file.
    ContactStateFile states;
    states.SetPath(statesPath);
    ContactStateRebuild rebuilt = RebuildContactStates(
        states, KeysOf(contacts), s.defActionType,
        [&](std::int32_t key, std::int32_t kept) {
            if (auto found = actions.find(key); found != actions.end()) return found->second;
            if (!replace) return kept;
            return IsFixedKey(key) ? static_cast<std::int32_t>(Accept) : static_cast<std::int32_t>(s.defActionType);
        },
        RebuildSave::Prepare);
    states.Close();
    if (!rebuilt.lock.Held() || !rebuilt.saved) return failed(statesPath);
    prepared(statesPath);
    // Those of an import stopped before its switch was recorded are no one's now.
    ::unlink(SwitchPreparedPath(rulesPath).c_str());
    ::unlink(SwitchPreparedPath(messagesPath).c_str());

    if (replace || report.rulesAdded > 0) {
        const std::vector<std::uint8_t> bytes = SerializeTextRules(rules);
        device::ReplacementFile rulesFile(rulesPath);
        if (bytes.empty() || !rulesFile.IsOpen() || !rulesFile.Write(bytes.data(), bytes.size()) ||
            !rulesFile.PrepareAs(SwitchPreparedPath(rulesPath))) {
            removePrepared();
            return failed(rulesPath);
        }
        prepared(rulesPath);
    }

    // Mesages.dat stays locked from its reading to the switch, so that no append of the handler is lost.
    SwitchResult switched = SwitchResult::NotRecorded;
    auto merge = [&](std::vector<BlockedMessageRecord>& held, std::vector<std::u16string>& texts) {
        return MergeMessages(held, texts, document, replace, report);
    };
    auto commit = [&](device::ReplacementFile* messagesFile) {
        if (messagesFile != nullptr) {
            if (!messagesFile->PrepareAs(SwitchPreparedPath(messagesPath))) return false;
            prepared(messagesPath);
        }
        switched = SwitchFiles(directory, values, files);
        return switched != SwitchResult::NotRecorded;
    };
    BlockedMessageFile messages;
    messages.SetPath(messagesPath);
    messages.Open();
    const bool messagesRead = messages.IsOpen() && messages.RewriteWithTexts(merge, commit);
    if (!messagesRead || switched == SwitchResult::NotRecorded) {
        removePrepared();
        return failed(messagesRead ? directory + u".import-switch.txt" : messagesPath);
    }
    report.changed = true;
    if (switched == SwitchResult::Recorded) {
        report.error =
            "the import is recorded but not yet in place (a file or the registry could not be written); the next "
            "message or change on this device puts it in place";
        return report;
    }
    report.imported = true;
    return report;
}

std::string DescribeImport(const ImportReport& report) {
    if (!report.imported) return report.error + "\n";
    std::string text = "settings: imported (\"AppPath\", \"BlockedMsg\" and \"SilentMsg\" kept)\n";
    text += "contacts' actions: " + std::to_string(report.contactsMatched) + " matched in the address book";
    text += report.unmatched.empty() ? "\n" : ", " + std::to_string(report.unmatched.size()) + " not matched:\n";
    for (const auto& contact : report.unmatched) {
        std::string numbers;
        for (const auto& number : contact.numbers) {
            numbers += (numbers.empty() ? "" : ", ") + device::VisibleText(device::ToUtf8(number));
        }
        // Named as the contact list shows it.
        const std::u16string& shown = contact.name.empty() ? contact.shown : contact.name;
        text += "  " + (shown.empty() ? "(no name)" : device::VisibleText(device::ToUtf8(shown))) + " (" +
                (numbers.empty() ? "no number" : numbers) + ")\n";
    }
    text += "text rules: " + std::to_string(report.rulesAdded) + " added, " + std::to_string(report.rulesTotal) +
            " in all\n";
    text += "blocked messages: " + std::to_string(report.messagesAdded) + " added";
    if (report.messagesAlreadyThere > 0) text += ", " + std::to_string(report.messagesAlreadyThere) + " already there";
    return text + "\n";
}

}  // namespace velmo
