#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageMove.h"
#include "common/BlockedMessageRestore.h"
#include "common/BlockedMessageTexts.h"
#include "common/SettingsStore.h"
#include "common/SpamScoreFile.h"
#include "common/trainer/SpamLearning.h"
#include "device/Clock.h"
#include "device/ErrorText.h"
#include "device/Files.h"
#include "device/MessageStore.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "device/VisibleText.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

using device::ToUtf16;
using device::ToUtf8;

constexpr std::size_t kTimeWidth = 19;

// A delivery time as a person reads it, in the device's local time; dashes for a value
// that is no moment.
std::string LocalTimeText(std::uint64_t fileTime) {
    SYSTEMTIME st{};
    if (!device::FileTimeToLocalSystemTime(fileTime, st)) return std::string(kTimeWidth, '-');
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
}

// One line of text with its control characters shown: a message's line breaks would break
// the listing's columns, and a stranger's escape sequences must not drive the terminal.
std::string OneLine(std::u16string_view text) { return device::VisibleText(ToUtf8(text)); }

std::string Sender(std::u16string_view address, std::u16string_view name) {
    if (name.empty()) return OneLine(address);
    return OneLine(name) + " <" + OneLine(address) + ">";
}

// A record's text field up to its zero unit, or whole when a damaged record has none.
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
    std::u16string_view text(field, N);
    return text.substr(0, text.find(u'\0'));
}

std::u16string TextOf(const device::StoredMessage& message, ULONG tag) {
    const device::Property* property = message.Find(tag);
    const std::u16string* text = property != nullptr ? property->AsText() : nullptr;
    return text != nullptr ? *text : std::u16string();
}

// The folder's messages in the order `inbox` lists and numbers them: by delivery time, as a
// person reads a conversation, so a restored message goes back to where it was delivered, not
// to the end. A message without a time counts as the earliest.
std::vector<device::StoredMessage> ListedMessages(const device::MessageStore& store, const std::string& folderName) {
    std::vector<device::StoredMessage> messages;
    try {
        messages = store.ListFolder(ToUtf16(folderName));
    } catch (const std::invalid_argument&) {
        std::string names;
        for (const auto& name : store.FolderNames()) names += (names.empty() ? "" : ", ") + ToUtf8(name);
        throw UsageError("no folder named \"" + folderName + "\"; the folders are " + names);
    }
    auto deliveredAt = [](const device::StoredMessage& message) {
        const device::Property* time = message.Find(PR_MESSAGE_DELIVERY_TIME);
        return time != nullptr && time->AsNumber() != nullptr ? static_cast<std::uint64_t>(*time->AsNumber()) : 0;
    };
    std::stable_sort(messages.begin(), messages.end(),
                     [&](const auto& a, const auto& b) { return deliveredAt(a) < deliveredAt(b); });
    return messages;
}

void ListFolder(const std::string& typedName) {
    RequireDevice();
    device::MessageStore store(device::MessageStore::ReadOnly);
    std::string folderName = typedName;
    for (const auto& name : store.FolderNames()) {
        if (IsKeyword(typedName, ToUtf8(name))) folderName = ToUtf8(name);
    }
    std::vector<device::StoredMessage> messages = ListedMessages(store, folderName);
    std::cout << folderName << ": " << messages.size() << (messages.size() == 1 ? " message" : " messages") << "\n";
    for (const auto& message : messages) {
        const device::Property* flags = message.Find(PR_MESSAGE_FLAGS);
        bool read = flags != nullptr && flags->AsNumber() != nullptr && (*flags->AsNumber() & MSGFLAG_READ) != 0;
        const device::Property* time = message.Find(PR_MESSAGE_DELIVERY_TIME);
        std::string when = time != nullptr && time->AsNumber() != nullptr
                               ? LocalTimeText(static_cast<std::uint64_t>(*time->AsNumber()))
                               : std::string(kTimeWidth, '-');
        std::cout << "  " << (read ? "read  " : "unread") << "  " << when << "  "
                  << Sender(TextOf(message, PR_SENDER_EMAIL_ADDRESS_W), TextOf(message, PR_SENDER_NAME_W)) << "  "
                  << OneLine(TextOf(message, PR_SUBJECT_W)) << "\n";
    }
}

// "AppPath" of the installed program, as the deliverables find it; none before VelmoLight
// first ran or the deliverables were installed, when there are no blocked messages yet.
std::optional<std::u16string> AppPath() {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (opened != ERROR_SUCCESS) {
        throw std::runtime_error("cannot open HKEY_LOCAL_MACHINE\\Software\\Apps\\VelmoLight: " +
                                 device::Win32ErrorText(opened));
    }
    std::u16string path(MAX_PATH, u'\0');
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(path.size() * sizeof(char16_t));
    LONG rc = RegQueryValueExW(key, u"AppPath", nullptr, &type, reinterpret_cast<BYTE*>(path.data()), &size);
    RegCloseKey(key);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (rc != ERROR_SUCCESS) {
        throw std::runtime_error("\"AppPath\" under HKEY_LOCAL_MACHINE\\Software\\Apps\\VelmoLight cannot be read: " +
                                 device::Win32ErrorText(rc));
    }
    if (type != REG_SZ) {
        throw std::runtime_error("\"AppPath\" under HKEY_LOCAL_MACHINE\\Software\\Apps\\VelmoLight is not text");
    }
    path.resize(device::Length(path.c_str()));
    return path;
}

std::optional<std::u16string> BlockedPath() {
    std::optional<std::u16string> directory = AppPath();
    if (!directory) return std::nullopt;
    return *directory + u"Mesages.dat";
}

void OpenBlocked(BlockedMessageFile& file, const std::u16string& path) {
    file.SetPath(path);
    file.Open();
    if (!file.IsOpen()) throw std::runtime_error("cannot open " + ToUtf8(path));
}

// text is the message's whole text, of which the record may hold only the start.
std::string RecordLine(const BlockedMessageRecord& record, std::u16string_view text) {
    return LocalTimeText(device::Join(record.deliveryTime)) + "  " +
           Sender(FieldText(record.senderAddress), FieldText(record.senderName)) + "  " + OneLine(text);
}

// Reads Mesages.dat through a read-only mapping rather than the handler's file class,
// which opens for writing: listing must work for a person who may only read the device.
// Each line is numbered, 1 for the latest delivered, as `blocked restore` takes them.
void ListBlocked() {
    RequireDevice();
    device::UseRegistryReadOnly();
    FinishImportBeforeLooking();
    std::optional<std::u16string> blockedPath = BlockedPath();
    if (!blockedPath) {
        std::cout << "0 blocked messages\n";
        return;
    }
    const std::u16string& path = *blockedPath;
    std::cout << device::VisibleText(ToUtf8(path)) << ": ";
    if (!std::filesystem::exists(device::NativePath(path))) {
        std::cout << "0 blocked messages\n";
        return;
    }
    device::MappedFile file;
    if (!file.Open(path, device::MappedFile::Mode::ReadOnly)) {
        throw std::runtime_error("cannot open " + ToUtf8(path) + ": " + std::strerror(errno));
    }
    std::size_t size = file.Size();
    auto count =
        static_cast<std::uint32_t>(size < BlockedMessageFile::kHeaderSize
                                       ? 0
                                       : (size - BlockedMessageFile::kHeaderSize) / BlockedMessageFile::kRecordSize);
    std::cout << count << (count == 1 ? " blocked message" : " blocked messages") << ", newest first\n";
    auto recordAt = [&file](std::size_t index) {
        BlockedMessageRecord record{};
        std::memcpy(&record, file.Data() + BlockedMessageFile::kHeaderSize + index * BlockedMessageFile::kRecordSize,
                    sizeof record);
        return record;
    };
    std::vector<BlockedMessageRecord> records(count);
    std::vector<std::uint64_t> times(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        records[i] = recordAt(i);
        times[i] = device::Join(records[i].deliveryTime);
    }
    // Read after the records, as an entry is written before its record.
    std::vector<WholeTextEntry> entries;
    if (!ReadWholeTexts(WholeTextsPath(path), entries)) {
        throw std::runtime_error("cannot read " + ToUtf8(WholeTextsPath(path)) + ": " + std::strerror(errno));
    }
    const std::vector<std::u16string> texts = WholeSubjects(records, entries);
    const std::vector<std::uint32_t> order = NewestFirst(times);
    const int width = static_cast<int>(std::to_string(count).size());
    // The spam filter's scores live in their own file beside Mesages.dat.
    const std::u16string scores = *AppPath() + SpamScoresFileName;
    for (std::uint32_t row = 0; row < count; ++row) {
        const BlockedMessageRecord& record = records[order[row]];
        std::cout << "  " << std::setw(width) << row + 1 << "  " << RecordLine(record, texts[order[row]]);
        if (const std::optional<double> score = FindSpamScore(scores, record)) {
            char text[16];
            std::snprintf(text, sizeof text, "%.3f", *score);
            std::cout << "  (judged spam, score " << text << ")";
        }
        std::cout << "\n";
    }
}

// A restored message teaches the spam filter, when it is on, that its text is ham; the restore
// stands whatever the lesson's fate.
void LearnRestored(const std::u16string& text) {
    std::string error;
    switch (LearnFromUser(false, text, error)) {
        case UserLesson::NotLearning: return;
        case UserLesson::Learnt: std::cout << "the spam filter learnt it as ham\n"; return;
        case UserLesson::Failed: std::cerr << "the spam filter could not learn from it: " << error << "\n"; return;
    }
}

// Puts message number of the listing back in the Inbox, as VelmoLight's "Restore" does.
void RestoreBlocked(long long number) {
    std::optional<std::u16string> blockedPath = BlockedPath();
    if (!blockedPath || !std::filesystem::exists(device::NativePath(*blockedPath))) {
        throw UsageError("there are no blocked messages");
    }
    const std::u16string& path = *blockedPath;
    BlockedMessageFile file;
    OpenBlocked(file, path);
    std::uint32_t count = file.Count();
    if (number < 1 || number > count) {
        throw UsageError("there is no blocked message " + std::to_string(number) + "; `blocked` lists " +
                         std::to_string(count));
    }
    std::uint32_t index = NewestFirst(file)[static_cast<std::size_t>(number - 1)];
    BlockedMessageRecord record{};
    if (!file.ReadAt(index, record)) throw std::runtime_error("cannot read blocked message " + std::to_string(number));
    const std::u16string text = file.WholeSubject(record);
    std::unique_ptr<device::MessageStore> store;
    try {
        store = std::make_unique<device::MessageStore>();
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("the Inbox cannot be written (") + e.what() +
                                 "); the message stays blocked");
    }
    device::EntryId inbox = store->InboxEntryId();
    switch (RestoreBlockedMessage(store->Interface(), static_cast<ULONG>(inbox.size()),
                                  reinterpret_cast<LPENTRYID>(inbox.data()), file, index, record)) {
        case RestoreResult::Restored:
            std::cout << "restored to the Inbox, unread: " << RecordLine(record, text) << "\n";
            LearnRestored(text);
            return;
        case RestoreResult::FileChanged:
            throw std::runtime_error("Mesages.dat changed meanwhile; nothing was restored");
        case RestoreResult::InboxUnavailable:
            throw std::runtime_error("the Inbox cannot be written; the message stays blocked");
        case RestoreResult::FileNotWritten:
            throw std::runtime_error("Mesages.dat cannot be written; nothing was restored");
    }
}

// Puts message number of the Inbox listing among the blocked messages, as the Messaging
// screen's "Move to blocked messages" does: no counter changes.
void BlockInboxMessage(long long number) {
    if (!AppPath()) {
        throw std::runtime_error("\"AppPath\" is not set, so Mesages.dat has no home; velmo-device install sets it");
    }
    device::MessageStore store;
    std::vector<device::StoredMessage> messages = ListedMessages(store, "Inbox");
    if (number < 1 || static_cast<std::size_t>(number) > messages.size()) {
        throw UsageError("there is no message " + std::to_string(number) + " in the Inbox; `inbox` lists " +
                         std::to_string(messages.size()));
    }
    const device::StoredMessage& message = messages[static_cast<std::size_t>(number - 1)];
    std::string line = Sender(TextOf(message, PR_SENDER_EMAIL_ADDRESS_W), TextOf(message, PR_SENDER_NAME_W)) + "  " +
                       OneLine(TextOf(message, PR_SUBJECT_W));
    SettingsStore settings;
    switch (BlockStoredMessage(settings, store.Interface(), store.InboxEntryId(), message.entryId)) {
        case BlockResult::Blocked: {
            std::cout << "moved to the blocked messages: " << line << "\n";
            std::string error;
            switch (LearnFromUser(true, TextOf(message, PR_SUBJECT_W), error)) {
                case UserLesson::NotLearning: break;
                case UserLesson::Learnt: std::cout << "the spam filter learnt it as spam\n"; break;
                case UserLesson::Failed:
                    std::cerr << "the spam filter could not learn from it: " << error << "\n";
                    break;
            }
            return;
        }
        case BlockResult::NotFound: throw std::runtime_error("the message has left the Inbox meanwhile");
        case BlockResult::NotAppended:
            throw std::runtime_error("Mesages.dat cannot be written; the message stays in the Inbox");
        case BlockResult::NotDeleted:
            throw std::runtime_error("the message is among the blocked messages, but its Inbox copy cannot be deleted");
    }
}

}  // namespace

void AddMessageCommands(CLI::App& app) {
    auto* inbox = app.add_subcommand(
        "inbox",
        "List the messages in a folder of the message store, with their read mark, oldest first by delivery time "
        "(messages delivered at the same moment in the order they arrived)");
    auto folder = std::make_shared<std::string>("Inbox");
    inbox->add_option("--folder", *folder, "The folder to list (Inbox, Outbox, Sent)");
    auto* block = inbox->add_subcommand(
        "block",
        "Move Inbox message N (as `inbox` lists them, 1 the first) to the blocked messages, counters unchanged");
    auto blockNumber = std::make_shared<long long>(0);
    block->add_option("N", *blockNumber, "The message's place in the `inbox` listing")->required();
    block->callback([blockNumber] { BlockInboxMessage(*blockNumber); });
    inbox->callback([inbox, block, folder] {
        if (!inbox->got_subcommand(block)) ListFolder(*folder);
    });

    auto* blocked = app.add_subcommand("blocked",
                                       "List the blocked messages kept in Mesages.dat, newest first by delivery time "
                                       "(messages delivered at the same moment the last arrived first), each with the "
                                       "number that `blocked restore N` takes");
    auto* restore = blocked->add_subcommand("restore", "Put blocked message N back in the Inbox, unread");
    auto number = std::make_shared<long long>(0);
    restore->add_option("N", *number, "The message's number in the `blocked` listing")->required();
    restore->callback([number] { RestoreBlocked(*number); });
    blocked->callback([blocked, restore] {
        if (!blocked->got_subcommand(restore)) ListBlocked();
    });
}

}  // namespace velmo::cli
