#include "common/BlockedMessageTexts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "device/Clock.h"
#include "device/Files.h"
#include "device/RecordFile.h"

namespace velmo {

namespace {

constexpr std::uint8_t kTag[4] = {'V', 'L', 'W', 'T'};
constexpr std::size_t kEntryHead = sizeof kTag + sizeof(std::uint32_t) + sizeof(BlockedMessageRecord);

// The whole entries of bytes, each with the offset just past it.
struct Parsed {
    std::vector<WholeTextEntry> entries;
    std::size_t end = 0;
};

Parsed Parse(const std::uint8_t* data, std::size_t size) {
    Parsed parsed;
    std::size_t at = 0;
    while (size - at >= kEntryHead && std::memcmp(data + at, kTag, sizeof kTag) == 0) {
        std::uint32_t units = 0;
        std::memcpy(&units, data + at + sizeof kTag, sizeof units);
        if (units > kMaxWholeTextUnits || size - at - kEntryHead < std::size_t{units} * sizeof(char16_t)) break;
        WholeTextEntry entry;
        std::memcpy(&entry.record, data + at + sizeof kTag + sizeof units, sizeof entry.record);
        entry.text.resize(units);
        std::memcpy(entry.text.data(), data + at + kEntryHead, std::size_t{units} * sizeof(char16_t));
        parsed.entries.push_back(std::move(entry));
        at += kEntryHead + std::size_t{units} * sizeof(char16_t);
        parsed.end = at;
    }
    return parsed;
}

std::vector<std::uint8_t> Serialize(const BlockedMessageRecord& record, std::u16string_view text) {
    const std::uint32_t units = static_cast<std::uint32_t>(std::min(text.size(), kMaxWholeTextUnits));
    std::vector<std::uint8_t> bytes(kEntryHead + std::size_t{units} * sizeof(char16_t));
    std::memcpy(bytes.data(), kTag, sizeof kTag);
    std::memcpy(bytes.data() + sizeof kTag, &units, sizeof units);
    std::memcpy(bytes.data() + sizeof kTag + sizeof units, &record, sizeof record);
    std::memcpy(bytes.data() + kEntryHead, text.data(), std::size_t{units} * sizeof(char16_t));
    return bytes;
}

bool ReadParsed(std::u16string_view path, Parsed& parsed) {
    device::MappedFile file;
    if (!file.Open(path, device::MappedFile::Mode::ReadOnly)) return file.LastError() == ENOENT;
    parsed = Parse(file.Data(), file.Size());
    return true;
}

// For record i of count (recordAt gives it), the index of its entry, or -1: equal records
// take the equal entries in their order, and only records delivered when an entry's was are compared.
template <typename RecordAt>
std::vector<int> MatchEntries(std::size_t count, RecordAt recordAt, const std::vector<WholeTextEntry>& entries) {
    std::vector<int> match(count, -1);
    if (entries.empty()) return match;
    std::unordered_multimap<std::uint64_t, std::size_t> byTime;
    for (std::size_t e = entries.size(); e-- > 0;) byTime.emplace(device::Join(entries[e].record.deliveryTime), e);
    std::vector<bool> taken(entries.size(), false);
    for (std::size_t i = 0; i < count; ++i) {
        const BlockedMessageRecord& record = recordAt(i);
        auto [first, last] = byTime.equal_range(device::Join(record.deliveryTime));
        std::size_t best = entries.size();
        for (auto it = first; it != last; ++it) {
            if (!taken[it->second] && it->second < best &&
                std::memcmp(&entries[it->second].record, &record, sizeof record) == 0) {
                best = it->second;
            }
        }
        if (best == entries.size()) continue;
        taken[best] = true;
        match[i] = static_cast<int>(best);
    }
    return match;
}

}  // namespace

std::u16string WholeTextsPath(std::u16string_view messagesPath) {
    constexpr std::u16string_view kExtension = u".dat";
    if (messagesPath.size() >= kExtension.size() &&
        messagesPath.substr(messagesPath.size() - kExtension.size()) == kExtension) {
        return std::u16string(messagesPath.substr(0, messagesPath.size() - kExtension.size())) + u"Text.dat";
    }
    return std::u16string(messagesPath) + u"Text";
}

bool NeedsWholeText(const BlockedMessageRecord& record, std::u16string_view wholeText) {
    return RecordText(record.subject) != wholeText;
}

bool ReadWholeTexts(std::u16string_view path, std::vector<WholeTextEntry>& entries) {
    Parsed parsed;
    if (!ReadParsed(path, parsed)) return false;
    entries = std::move(parsed.entries);
    return true;
}

std::vector<std::u16string> WholeSubjects(const std::vector<BlockedMessageRecord>& records,
                                          const std::vector<WholeTextEntry>& entries) {
    std::vector<int> match = MatchEntries(
        records.size(), [&](std::size_t i) -> const BlockedMessageRecord& { return records[i]; }, entries);
    std::vector<std::u16string> texts;
    texts.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        texts.push_back(match[i] >= 0 ? entries[static_cast<std::size_t>(match[i])].text
                                      : std::u16string(RecordText(records[i].subject)));
    }
    return texts;
}

bool AppendWholeText(std::u16string_view path, const BlockedMessageRecord& record, std::u16string_view text) {
    device::RecordFile file;
    if (!file.Open(path)) return false;
    std::uint64_t size = 0;
    if (!file.Size(size)) return false;
    // A torn entry at the end, left by a writer that died, is written over.
    std::size_t end = 0;
    if (size > 0) {
        std::vector<std::uint8_t> bytes(size);
        if (file.ReadAt(0, bytes.data(), bytes.size()) != bytes.size()) return false;
        end = Parse(bytes.data(), bytes.size()).end;
    }
    const std::vector<std::uint8_t> entry = Serialize(record, text);
    return (end == size || file.Truncate(end)) && file.WriteAt(end, entry.data(), entry.size()) && file.Flush();
}

bool DropOrphanedWholeTexts(std::u16string_view messagesPath) {
    const std::u16string path = WholeTextsPath(messagesPath);
    Parsed parsed;
    if (!ReadParsed(path, parsed)) return false;
    if (parsed.entries.empty()) return EmptyWholeTexts(path);
    device::MappedFile messages;
    std::size_t count = 0;
    if (messages.Open(messagesPath, device::MappedFile::Mode::ReadOnly)) {
        const std::size_t header = BlockedMessageFile::kHeaderSize;
        count = messages.Size() < header ? 0 : (messages.Size() - header) / BlockedMessageFile::kRecordSize;
    } else if (messages.LastError() != ENOENT) {
        return false;
    }
    BlockedMessageRecord current{};
    std::vector<int> match = MatchEntries(
        count,
        [&](std::size_t i) -> const BlockedMessageRecord& {
            std::memcpy(&current,
                        messages.Data() + BlockedMessageFile::kHeaderSize + i * BlockedMessageFile::kRecordSize,
                        sizeof current);
            return current;
        },
        parsed.entries);
    std::vector<bool> kept(parsed.entries.size(), false);
    for (int e : match) {
        if (e >= 0) kept[static_cast<std::size_t>(e)] = true;
    }
    if (std::all_of(kept.begin(), kept.end(), [](bool k) { return k; })) return true;
    std::vector<std::uint8_t> bytes;
    for (std::size_t e = 0; e < parsed.entries.size(); ++e) {
        if (!kept[e]) continue;
        const std::vector<std::uint8_t> entry = Serialize(parsed.entries[e].record, parsed.entries[e].text);
        bytes.insert(bytes.end(), entry.begin(), entry.end());
    }
    return device::ReplaceFileAtomically(path, bytes.data(), bytes.size());
}

bool EmptyWholeTexts(std::u16string_view path) {
    device::RecordFile file;
    device::MappedFile probe;
    if (!probe.Open(path, device::MappedFile::Mode::ReadOnly)) return probe.LastError() == ENOENT;
    if (probe.Size() == 0) return true;
    probe.Close();
    return file.Open(path) && file.Truncate(0) && file.Flush();
}

}  // namespace velmo
