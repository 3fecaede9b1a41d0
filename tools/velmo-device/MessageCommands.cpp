#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageMove.h"
#include "common/BlockedMessageRestore.h"
#include "common/BlockedMessageTexts.h"
#include "common/SettingsStore.h"
#include "common/SpamScoreFile.h"
#include "common/trainer/SpamLearning.h"
#include "device/Clock.h"
#include "device/DeviceRoot.h"
#include "device/ErrorText.h"
#include "device/Files.h"
#include "device/MessageStore.h"
#include "device/Registry.h"
#include "device/SmsSending.h"
#include "device/SmsTransport.h"
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

// A whole text for a terminal: its own line breaks kept, every other control written out,
// so that a stranger's text cannot drive the terminal.
std::string FullText(std::u16string_view text) {
    std::string utf8 = ToUtf8(text);
    std::string shown;
    for (std::size_t start = 0;;) {
        std::size_t end = utf8.find('\n', start);
        shown += device::VisibleText(std::string_view(utf8).substr(start, end - start));
        if (end == std::string::npos) return shown;
        shown += '\n';
        start = end + 1;
    }
}

// A stored time as ISO 8601 in UTC, for scripts; null for a value that is no moment.
nlohmann::json IsoTime(std::uint64_t fileTime) {
    FILETIME split = device::Split(fileTime);
    SYSTEMTIME st{};
    if (fileTime >= (std::uint64_t{1} << 63) || !FileTimeToSystemTime(&split, &st)) return nullptr;
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
}

// Text for JSON, which carries only well-formed UTF-8.
std::string JsonText(std::u16string_view text) { return ToUtf8(device::WellFormedUtf16(text)); }

nlohmann::json JsonMessage(std::u16string_view number, std::u16string_view name, std::u16string_view text,
                           std::optional<std::uint64_t> fileTime) {
    nlohmann::json object = nlohmann::json::object();
    object["number"] = JsonText(number);
    object["name"] = JsonText(name);
    object["text"] = JsonText(text);
    object["time"] = fileTime ? IsoTime(*fileTime) : nlohmann::json(nullptr);
    object["fileTime"] = fileTime ? nlohmann::json(*fileTime) : nlohmann::json(nullptr);
    return object;
}

void PrintJson(const nlohmann::json& array) {
    std::cout << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

std::optional<std::uint64_t> DeliveredAt(const device::StoredMessage& message) {
    const device::Property* time = message.Find(PR_MESSAGE_DELIVERY_TIME);
    if (time == nullptr || time->AsNumber() == nullptr) return std::nullopt;
    return static_cast<std::uint64_t>(*time->AsNumber());
}

bool IsRead(const device::StoredMessage& message) {
    const device::Property* flags = message.Find(PR_MESSAGE_FLAGS);
    return flags != nullptr && flags->AsNumber() != nullptr && (*flags->AsNumber() & MSGFLAG_READ) != 0;
}

// The other party: the recipient of a message the person wrote, else the sender.
std::u16string Party(const device::StoredMessage& message) {
    if (message.Find(device::PR_DISPLAY_TO_W) != nullptr) return TextOf(message, device::PR_DISPLAY_TO_W);
    return TextOf(message, PR_SENDER_EMAIL_ADDRESS_W);
}

// The folder's messages in the listing's order, which the numbers of the commands count.
std::vector<device::StoredMessage> SortedFolder(const device::MessageStore& store, const std::string& folderName) {
    std::vector<device::StoredMessage> messages;
    try {
        messages = store.ListFolder(ToUtf16(folderName));
    } catch (const std::invalid_argument&) {
        std::string names;
        for (const auto& name : store.FolderNames()) names += (names.empty() ? "" : ", ") + ToUtf8(name);
        throw UsageError("no folder named \"" + folderName + "\"; the folders are " + names);
    }
    // By delivery time, as a person reads a conversation: a restored message goes back to
    // where it was delivered, not to the end. A message without a time counts as the earliest.
    std::stable_sort(messages.begin(), messages.end(), [&](const auto& a, const auto& b) {
        return DeliveredAt(a).value_or(0) < DeliveredAt(b).value_or(0);
    });
    return messages;
}

// What a listing showed, so that a number typed after it names the message the person saw
// there even when a message arrived or went meanwhile: one key a line, in the listed order,
// in a file of the device root for each folder and one for the blocked list.
std::u16string ListingPath(const std::string& list) {
    return ToUtf16((device::DeviceRoot() / ("listed-" + list)).string());
}

std::string FolderList(const std::string& folderName) {
    std::string name = "folder-";
    for (unsigned char c : folderName) {
        if (std::isalnum(c) != 0) {
            name += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return name;
}

// Best effort: a person who may only read the device can still list. A listing that cannot be
// kept must not leave an older one behind, whose numbers the person no longer sees.
void RememberListing(const std::string& list, const std::vector<std::string>& keys) {
    std::string text;
    for (const auto& key : keys) text += key + "\n";
    const std::u16string path = ListingPath(list);
    if (!device::ReplaceFileAtomically(path, text.data(), text.size())) {
        std::error_code ignored;
        std::filesystem::remove(device::NativePath(path), ignored);
    }
}

std::optional<std::vector<std::string>> RememberedListing(const std::string& list) {
    std::ifstream in(device::NativePath(ListingPath(list)));
    if (!in) return std::nullopt;
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);) keys.push_back(line);
    return keys;
}

std::uint64_t Fnv1a(std::uint64_t hash, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ULL;
    return hash;
}

constexpr std::uint64_t kFnvBasis = 14695981039346656037ULL;

std::string Hex(const void* data, std::size_t size) {
    std::string hex;
    char digits[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<const std::uint8_t*>(data)[i]);
        hex += digits;
    }
    return hex;
}

// Where a numbered message stands now: its place in the current listing (keys in the
// listing's order), and how many the listing that the number counts had.
struct Place {
    std::optional<std::size_t> index;  // none when the number is past that listing
    std::size_t listed = 0;
};

// The number counts the remembered listing when there is one, and then names the message
// that stood there, wherever it is now, or refuses with changed when it is gone or other;
// without one (a script that never lists) it counts the messages as they are.
Place Resolve(const std::string& list, const std::vector<std::string>& now, long long number,
              const std::string& changed) {
    const std::optional<std::vector<std::string>> listed = RememberedListing(list);
    const std::vector<std::string>& counted = listed ? *listed : now;
    Place place{std::nullopt, counted.size()};
    if (number < 1 || static_cast<std::size_t>(number) > counted.size()) return place;
    const auto row = static_cast<std::size_t>(number - 1);
    if (!listed) {
        place.index = row;
        return place;
    }
    // Messages alike in every key are told apart by their order among themselves.
    const std::string& key = counted[row];
    auto alikeBefore = std::count(counted.begin(), counted.begin() + static_cast<std::ptrdiff_t>(row), key);
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] == key && alikeBefore-- == 0) {
            place.index = i;
            return place;
        }
    }
    throw std::runtime_error(changed);
}

// A message's key: its entry identifier and a digest of its sender, recipient, time and text,
// but not its read mark, which `inbox read` changes between two commands of one listing.
std::string MessageKey(const device::StoredMessage& message) {
    std::uint64_t digest = kFnvBasis;
    for (ULONG tag : {PR_SENDER_EMAIL_ADDRESS_W, PR_SENDER_NAME_W, device::PR_DISPLAY_TO_W, PR_SUBJECT_W}) {
        const std::u16string text = TextOf(message, tag);
        const std::uint64_t length = message.Find(tag) != nullptr ? text.size() : ~std::uint64_t{0};
        digest = Fnv1a(digest, &length, sizeof length);
        digest = Fnv1a(digest, text.data(), text.size() * sizeof(char16_t));
    }
    const std::uint64_t time = DeliveredAt(message).value_or(~std::uint64_t{0});
    digest = Fnv1a(digest, &time, sizeof time);
    return Hex(message.entryId.data(), message.entryId.size()) + " " + Hex(&digest, sizeof digest);
}

std::vector<std::string> MessageKeys(const std::vector<device::StoredMessage>& messages) {
    std::vector<std::string> keys;
    for (const auto& message : messages) keys.push_back(MessageKey(message));
    return keys;
}

std::string ChangedSinceListed(const std::string& what, long long number, const std::string& list,
                               const std::string& command) {
    return what + " " + std::to_string(number) + " changed since it was listed; list " + list +
           " again (velmo-device " + command + ")";
}

std::string FolderCommand(const std::string& folderName) {
    return folderName == "Inbox" ? "inbox" : "inbox --folder " + folderName;
}

std::string MessageLine(const device::StoredMessage& message) {
    const auto when = DeliveredAt(message);
    std::string line = std::string(IsRead(message) ? "read  " : "unread") + "  " +
                       (when ? LocalTimeText(*when) : std::string(kTimeWidth, '-')) + "  ";
    if (message.Find(device::PR_DISPLAY_TO_W) != nullptr) {
        line += "to " + OneLine(TextOf(message, device::PR_DISPLAY_TO_W));
    } else {
        line += Sender(TextOf(message, PR_SENDER_EMAIL_ADDRESS_W), TextOf(message, PR_SENDER_NAME_W));
    }
    line += "  " + OneLine(TextOf(message, PR_SUBJECT_W));
    const std::u16string failure = TextOf(message, device::PR_SEND_FAILURE_W);
    if (!failure.empty()) line += "  (not sent: " + OneLine(failure) + ")";
    return line;
}

void ListFolder(const std::string& typedName, bool json) {
    RequireDevice();
    device::MessageStore store(device::MessageStore::ReadOnly);
    std::string folderName = typedName;
    for (const auto& name : store.FolderNames()) {
        if (IsKeyword(typedName, ToUtf8(name))) folderName = ToUtf8(name);
    }
    std::vector<device::StoredMessage> messages = SortedFolder(store, folderName);
    RememberListing(FolderList(folderName), MessageKeys(messages));
    if (json) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& message : messages) {
            nlohmann::json object = JsonMessage(Party(message), TextOf(message, PR_SENDER_NAME_W),
                                                TextOf(message, PR_SUBJECT_W), DeliveredAt(message));
            object["read"] = IsRead(message);
            if (message.Find(device::PR_DISPLAY_TO_W) != nullptr) object["outgoing"] = true;
            const std::u16string failure = TextOf(message, device::PR_SEND_FAILURE_W);
            if (!failure.empty()) object["notSent"] = JsonText(failure);
            array.push_back(std::move(object));
        }
        return PrintJson(array);
    }
    std::cout << folderName << ": " << messages.size() << (messages.size() == 1 ? " message" : " messages") << "\n";
    for (const auto& message : messages) std::cout << "  " << MessageLine(message) << "\n";
}

device::StoredMessage& Numbered(std::vector<device::StoredMessage>& messages, const std::string& folderName,
                                long long number) {
    const Place place = Resolve(FolderList(folderName), MessageKeys(messages), number,
                                ChangedSinceListed("message", number, "the " + folderName, FolderCommand(folderName)));
    if (!place.index) {
        throw UsageError("there is no message " + std::to_string(number) + " in the " + folderName + "; `" +
                         FolderCommand(folderName) + "` lists " + std::to_string(place.listed) +
                         ", numbered from 1 at the top");
    }
    return messages[*place.index];
}

void ShowMessage(const std::string& folderName, long long number) {
    device::MessageStore store(device::MessageStore::ReadOnly);
    std::vector<device::StoredMessage> messages = SortedFolder(store, folderName);
    const device::StoredMessage& message = Numbered(messages, folderName, number);
    const auto when = DeliveredAt(message);
    if (message.Find(device::PR_DISPLAY_TO_W) != nullptr) {
        std::cout << "To: " << OneLine(TextOf(message, device::PR_DISPLAY_TO_W)) << "\n";
    } else {
        std::cout << "From: " << Sender(TextOf(message, PR_SENDER_EMAIL_ADDRESS_W), TextOf(message, PR_SENDER_NAME_W))
                  << "\n";
    }
    std::cout << "Time: " << (when ? LocalTimeText(*when) : std::string(kTimeWidth, '-')) << "\n";
    std::cout << "Read: " << (IsRead(message) ? "yes" : "no") << "\n";
    const std::u16string failure = TextOf(message, device::PR_SEND_FAILURE_W);
    if (!failure.empty()) std::cout << "Not sent: " << OneLine(failure) << "\n";
    std::cout << "\n" << FullText(TextOf(message, PR_SUBJECT_W)) << "\n";
}

enum class Change { MarkRead, MarkUnread, Delete };

void ChangeMessage(const std::string& folderName, long long number, Change change) {
    device::MessageStore store;
    // Numbered and changed between two messages of the receiver, never while a rule client
    // has the message half handled (a silent accept's copy made, the original not yet gone).
    device::LockFile turn = device::TakeTransportTurn();
    std::vector<device::StoredMessage> messages = SortedFolder(store, folderName);
    const device::StoredMessage& message = Numbered(messages, folderName, number);
    const std::u16string folder = ToUtf16(folderName);
    bool done = false;
    const char* what = "";
    if (change == Change::Delete) {
        done = store.DeleteMessage(folder, message.entryId);
        what = "deleted";
    } else {
        const device::Property* flags = message.Find(PR_MESSAGE_FLAGS);
        std::int64_t value = flags != nullptr && flags->AsNumber() != nullptr ? *flags->AsNumber() : 0;
        value = change == Change::MarkRead ? (value | MSGFLAG_READ) : (value & ~std::int64_t{MSGFLAG_READ});
        device::Property property = device::Property::Number(PR_MESSAGE_FLAGS, value);
        done = store.SetProperties(folder, message.entryId, {&property, 1});
        what = change == Change::MarkRead ? "marked read" : "marked unread";
    }
    if (!done) throw std::runtime_error("the message left the " + folderName + " meanwhile; nothing was changed");
    std::cout << what << ": " << Sender(Party(message), TextOf(message, PR_SENDER_NAME_W)) << "  "
              << OneLine(TextOf(message, PR_SUBJECT_W)) << "\n";
}

// "AppPath" of the installed program, as the deliverables find it; none before VelmoLight
// first ran or the deliverables were installed, when there are no blocked messages yet.
std::optional<std::u16string> AppPath() {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (opened != ERROR_SUCCESS) {
        throw std::runtime_error("cannot open HKEY_LOCAL_MACHINE\\Software\\Apps\\VelmoLight: " +
                                 RegistryErrorText(opened));
    }
    std::u16string path(MAX_PATH, u'\0');
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(path.size() * sizeof(char16_t));
    LONG rc = RegQueryValueExW(key, u"AppPath", nullptr, &type, reinterpret_cast<BYTE*>(path.data()), &size);
    RegCloseKey(key);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (rc != ERROR_SUCCESS) {
        throw std::runtime_error("\"AppPath\" under HKEY_LOCAL_MACHINE\\Software\\Apps\\VelmoLight cannot be read: " +
                                 RegistryErrorText(rc));
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
// The records newest first, as `blocked` numbers them from 1 and `blocked restore` takes
// them; no path when the device has no program directory yet.
std::vector<BlockedMessageRecord> ReadBlocked(std::optional<std::u16string>& blockedPath,
                                              std::vector<std::u16string>& texts) {
    device::UseRegistryReadOnly();
    blockedPath = BlockedPath();
    if (!blockedPath || !std::filesystem::exists(device::NativePath(*blockedPath))) return {};
    const std::u16string& path = *blockedPath;
    device::MappedFile file;
    if (!file.Open(path, device::MappedFile::Mode::ReadOnly)) {
        throw std::runtime_error("cannot open " + ToUtf8(path) + ": " + std::strerror(errno));
    }
    std::size_t size = file.Size();
    auto count =
        static_cast<std::uint32_t>(size < BlockedMessageFile::kHeaderSize
                                       ? 0
                                       : (size - BlockedMessageFile::kHeaderSize) / BlockedMessageFile::kRecordSize);
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
    const std::vector<std::u16string> wholeTexts = WholeSubjects(records, entries);
    std::vector<BlockedMessageRecord> newestFirst;
    newestFirst.reserve(count);
    texts.clear();
    for (std::uint32_t index : NewestFirst(times)) {
        newestFirst.push_back(records[index]);
        texts.push_back(wholeTexts[index]);
    }
    return newestFirst;
}

// A blocked message's key: a digest of its whole record (sender, name, time and text).
std::string RecordKey(const BlockedMessageRecord& record) {
    const std::uint64_t digest = Fnv1a(kFnvBasis, &record, sizeof record);
    return Hex(&digest, sizeof digest);
}

std::vector<std::string> RecordKeys(const std::vector<BlockedMessageRecord>& records) {
    std::vector<std::string> keys;
    for (const auto& record : records) keys.push_back(RecordKey(record));
    return keys;
}

std::string BlockedChanged(long long number) {
    return ChangedSinceListed("blocked message", number, "them", "blocked");
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

void ListBlocked(bool json) {
    RequireDevice();
    device::UseRegistryReadOnly();
    FinishImportBeforeLooking();
    std::optional<std::u16string> path;
    std::vector<std::u16string> texts;
    const std::vector<BlockedMessageRecord> records = ReadBlocked(path, texts);
    // Without Mesages.dat there is nothing a number could name, and a device only looked at
    // gets no file.
    if (path && std::filesystem::exists(device::NativePath(*path))) {
        RememberListing("blocked", RecordKeys(records));
    } else {
        std::error_code ignored;
        std::filesystem::remove(device::NativePath(ListingPath("blocked")), ignored);
    }
    if (json) {
        nlohmann::json array = nlohmann::json::array();
        for (std::size_t row = 0; row < records.size(); ++row) {
            const BlockedMessageRecord& record = records[row];
            array.push_back(JsonMessage(FieldText(record.senderAddress), FieldText(record.senderName), texts[row],
                                        device::Join(record.deliveryTime)));
        }
        return PrintJson(array);
    }
    if (!path) {
        std::cout << "0 blocked messages\n";
        return;
    }
    std::cout << device::VisibleText(ToUtf8(*path)) << ": ";
    if (!std::filesystem::exists(device::NativePath(*path))) {
        std::cout << "0 blocked messages\n";
        return;
    }
    const auto count = records.size();
    std::cout << count << (count == 1 ? " blocked message" : " blocked messages") << ", newest first\n";
    const int width = static_cast<int>(std::to_string(count).size());
    // The spam filter's scores live in their own file beside Mesages.dat.
    const std::u16string scores = *AppPath() + SpamScoresFileName;
    for (std::size_t row = 0; row < count; ++row) {
        std::cout << "  " << std::setw(width) << row + 1 << "  " << RecordLine(records[row], texts[row]);
        if (const std::optional<double> score = FindSpamScore(scores, records[row])) {
            char text[16];
            std::snprintf(text, sizeof text, "%.3f", *score);
            std::cout << "  (judged spam, score " << text << ")";
        }
        std::cout << "\n";
    }
}

void ShowBlocked(long long number) {
    std::optional<std::u16string> path;
    std::vector<std::u16string> texts;
    const std::vector<BlockedMessageRecord> records = ReadBlocked(path, texts);
    const Place place = Resolve("blocked", RecordKeys(records), number, BlockedChanged(number));
    if (!place.index) {
        throw UsageError("there is no blocked message " + std::to_string(number) + "; `blocked` lists " +
                         std::to_string(place.listed));
    }
    const BlockedMessageRecord& record = records[*place.index];
    std::cout << "From: " << Sender(FieldText(record.senderAddress), FieldText(record.senderName)) << "\n"
              << "Time: " << LocalTimeText(device::Join(record.deliveryTime)) << "\n\n"
              << FullText(texts[*place.index]) << "\n";
}

// "Empty" of the list, and the purge that opening the list runs, on the handler's own file
// class: under its lock, so that a message dismissed meanwhile is never lost half-written.
void EmptyOrPurgeBlocked(bool empty) {
    std::optional<std::u16string> blockedPath = BlockedPath();
    if (!blockedPath || !std::filesystem::exists(device::NativePath(*blockedPath))) {
        std::cout << "0 blocked messages\n";
        return;
    }
    BlockedMessageFile file;
    OpenBlocked(file, *blockedPath);
    const std::uint32_t before = file.Count();
    if (empty) {
        file.Clear();
    } else {
        SettingsStore settings;
        file.Purge(PurgeAgeSeconds(settings.GetDeleteTimeType()));
    }
    const std::uint32_t after = file.Count();
    if (empty && after != 0) throw std::runtime_error("Mesages.dat cannot be emptied");
    std::cout << "removed " << (before > after ? before - after : 0) << " of " << before << " blocked "
              << (before == 1 ? "message" : "messages") << "; " << after << " kept\n";
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
    const std::vector<std::uint32_t> order = NewestFirst(file);
    std::vector<BlockedMessageRecord> records(order.size());
    std::vector<bool> read(order.size());
    for (std::size_t row = 0; row < order.size(); ++row) read[row] = file.ReadAt(order[row], records[row]);
    const Place place = Resolve("blocked", RecordKeys(records), number, BlockedChanged(number));
    if (!place.index) {
        throw UsageError("there is no blocked message " + std::to_string(number) + "; `blocked` lists " +
                         std::to_string(place.listed));
    }
    if (!read[*place.index]) throw std::runtime_error("cannot read blocked message " + std::to_string(number));
    std::uint32_t index = order[*place.index];
    BlockedMessageRecord record = records[*place.index];
    const std::u16string text = file.WholeSubject(record);
    std::unique_ptr<device::MessageStore> store;
    try {
        store = std::make_unique<device::MessageStore>();
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("the Inbox cannot be written (") + e.what() +
                                 "); the message stays blocked");
    }
    device::EntryId inbox = store->InboxEntryId();
    // In the receiver's turn, so that no numbered command takes the message for another
    // before it is wholly back and its record gone.
    device::LockFile turn = device::TakeTransportTurn();
    switch (RestoreBlockedMessage(store->Interface(), static_cast<ULONG>(inbox.size()),
                                  reinterpret_cast<LPENTRYID>(inbox.data()), file, index, record)) {
        case RestoreResult::Restored:
            turn.Unlock();
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
    device::LockFile turn = device::TakeTransportTurn();  // as ChangeMessage
    std::vector<device::StoredMessage> messages = SortedFolder(store, "Inbox");
    const Place place = Resolve(FolderList("Inbox"), MessageKeys(messages), number,
                                ChangedSinceListed("message", number, "the Inbox", "inbox"));
    if (!place.index) {
        throw UsageError("there is no message " + std::to_string(number) + " in the Inbox; `inbox` lists " +
                         std::to_string(place.listed));
    }
    const device::StoredMessage& message = messages[*place.index];
    std::string line = Sender(TextOf(message, PR_SENDER_EMAIL_ADDRESS_W), TextOf(message, PR_SENDER_NAME_W)) + "  " +
                       OneLine(TextOf(message, PR_SUBJECT_W));
    SettingsStore settings;
    switch (BlockStoredMessage(settings, store.Interface(), store.InboxEntryId(), message.entryId)) {
        case BlockResult::Blocked: {
            turn.Unlock();
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
        "(messages delivered at the same moment in the order they arrived); its subcommands take a message by its "
        "place in that list, 1 at the top");
    auto folder = std::make_shared<std::string>("Inbox");
    auto inboxJson = std::make_shared<bool>(false);
    inbox->add_option("--folder", *folder, "The folder (Inbox, Outbox, Sent)");
    auto* inboxAsJson = inbox->add_flag("--json", *inboxJson,
                                        "An array of objects (number, name, text, time, fileTime, read), for scripts");
    auto number = std::make_shared<long long>(0);
    auto numbered = [&](CLI::App* parent, const char* name, const char* description) {
        auto* command = parent->add_subcommand(name, description);
        command->add_option("N", *number, "The message's place in the list, 1 at the top")->required();
        command->excludes(inboxAsJson);
        command->fallthrough();  // --folder after the number reads as before it
        return command;
    };
    numbered(inbox, "show", "Show message N in full")->callback([folder, number] { ShowMessage(*folder, *number); });
    numbered(inbox, "read", "Mark message N read")->callback([folder, number] {
        ChangeMessage(*folder, *number, Change::MarkRead);
    });
    numbered(inbox, "unread", "Mark message N unread")->callback([folder, number] {
        ChangeMessage(*folder, *number, Change::MarkUnread);
    });
    numbered(inbox, "delete", "Delete message N")->callback([folder, number] {
        ChangeMessage(*folder, *number, Change::Delete);
    });
    auto* block =
        numbered(inbox, "block", "Move Inbox message N to the blocked messages, as Dismiss does; counters unchanged");
    block->callback([number] { BlockInboxMessage(*number); });
    inbox->callback([inbox, folder, inboxJson] {
        if (inbox->get_subcommands().empty()) ListFolder(*folder, *inboxJson);
    });

    auto* blocked = app.add_subcommand("blocked",
                                       "List the blocked messages kept in Mesages.dat, newest first by delivery time "
                                       "(messages delivered at the same moment the last arrived first), each with the "
                                       "number that `blocked restore N` takes");
    auto blockedJson = std::make_shared<bool>(false);
    auto* blockedAsJson = blocked->add_flag(
        "--json", *blockedJson, "An array of objects (number, name, text, time, fileTime), newest first, for scripts");
    auto* restore = blocked->add_subcommand("restore", "Put blocked message N back in the Inbox, unread");
    restore->add_option("N", *number, "The message's number in the `blocked` listing")->required();
    restore->callback([number] { RestoreBlocked(*number); });
    auto* show = blocked->add_subcommand("show", "Show blocked message N in full");
    show->add_option("N", *number, "The message's number in the `blocked` listing")->required();
    show->callback([number] { ShowBlocked(*number); });
    blocked->add_subcommand("empty", "Remove every blocked message, as the list's \"Empty\" does")->callback([] {
        EmptyOrPurgeBlocked(true);
    });
    blocked
        ->add_subcommand("purge",
                         "Remove the blocked messages older than the age chosen in Options (\"DeleteTimeType\"), as "
                         "opening the list does")
        ->callback([] { EmptyOrPurgeBlocked(false); });
    for (auto* command : blocked->get_subcommands([](CLI::App*) { return true; })) command->excludes(blockedAsJson);
    blocked->callback([blocked, blockedJson] {
        if (blocked->get_subcommands().empty()) ListBlocked(*blockedJson);
    });
}

}  // namespace velmo::cli
