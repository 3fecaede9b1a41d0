#include "common/ContactStateFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "common/FileSwitch.h"
#include "common/LittleEndian.h"

namespace velmo {

namespace {

// The magic text "WM_CI_FILTER" with its terminating zero unit, as UTF-16LE.
constexpr std::u16string_view kMagicText = u"WM_CI_FILTER";
constexpr auto kMagic = Utf16LeMagic<2 * (kMagicText.size() + 1)>(kMagicText);
constexpr std::size_t kVersionOffset = 40;
constexpr std::size_t kCountOffset = 44;

void StoreRecord(std::uint8_t* bytes, const ContactRecord& record) {
    StoreLe32(bytes, static_cast<std::uint32_t>(record.action));
    StoreLe32(bytes + 4, static_cast<std::uint32_t>(record.key));
}

bool HeaderValid(const std::uint8_t* view, std::size_t size) {
    if (size < ContactStateFile::kHeaderSize) return false;
    return std::memcmp(view, kMagic.data(), kMagic.size()) == 0 &&
           LoadLe32(view + kVersionOffset) == ContactStateFile::kVersion;
}

}  // namespace

bool ContactStateFile::SetPath(std::u16string_view path) {
    path = path.substr(0, path.find(u'\0'));
    std::fill(std::begin(path_), std::end(path_), u'\0');
    if (path.size() >= kPathUnits) return false;
    std::copy(path.begin(), path.end(), path_);
    return true;
}

bool ContactStateFile::Map(device::MappedFile::Mode mode) {
    Unmap();
    if (!mapping_.Open(std::u16string_view(path_), mode)) {
        unreadable_ = mapping_.LastError() != ENOENT;
        return false;
    }
    unreadable_ = false;
    if (!HeaderValid(mapping_.Data(), mapping_.Size())) {
        mapping_.Close();
        return false;
    }
    // A truncated file keeps only the records it holds, so no read goes past its end.
    auto present = (mapping_.Size() - kHeaderSize) / kRecordSize;
    auto stated = static_cast<std::int32_t>(LoadLe32(mapping_.Data() + kCountOffset));
    count_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(stated, 0, static_cast<std::int64_t>(present)));
    return true;
}

void ContactStateFile::Unmap() {
    mapping_.Close();
    count_ = 0;
    oldIndexBuilt_ = false;
}

bool ContactStateFile::OpenForUpdate() { return Map(device::MappedFile::Mode::ReadWrite); }

bool ContactStateFile::OpenForReading() { return Map(device::MappedFile::Mode::ReadOnly); }

ContactRecord ContactStateFile::Entry(std::int32_t index) const {
    const std::uint8_t* bytes = mapping_.Data() + kHeaderSize + static_cast<std::size_t>(index) * kRecordSize;
    return {static_cast<std::int32_t>(LoadLe32(bytes)), static_cast<std::int32_t>(LoadLe32(bytes + 4))};
}

bool ContactStateFile::BeginRebuild(std::int32_t capacity) {
    newCount_ = 0;
    newEntries_.reset();
    // A rebuild starts from the file an interrupted import switched to, not the one before.
    FinishFileSwitch(DirectoryOf(std::u16string_view(path_)));
    bool opened = OpenForUpdate();
    if (unreadable_) return false;
    try {
        newEntries_.emplace(static_cast<std::size_t>(std::max(capacity, 0)));
    } catch (const std::bad_alloc&) {
        // Without room for the new entries no Save may follow: it would drop every action.
        Unmap();
        return false;
    }
    return opened;
}

std::int32_t ContactStateFile::Add(std::int32_t key, std::int32_t defaultAction) {
    if (!newEntries_ || static_cast<std::size_t>(newCount_) >= newEntries_->size()) return -1;
    ContactRecord record{defaultAction, key};
    if (auto old = LastOldEntry(key)) record.action = Entry(*old).action;
    (*newEntries_)[static_cast<std::size_t>(newCount_)] = record;
    return newCount_++;
}

bool ContactStateFile::SetNewAction(std::int32_t index, std::int32_t action) {
    if (!newEntries_ || index < 0 || index >= newCount_) return false;
    (*newEntries_)[static_cast<std::size_t>(index)].action = action;
    return true;
}

ContactRecord ContactStateFile::NewEntry(std::int32_t index) const {
    if (!newEntries_ || index < 0 || index >= newCount_) return {};
    return (*newEntries_)[static_cast<std::size_t>(index)];
}

std::optional<std::int32_t> ContactStateFile::LastOldEntry(std::int32_t key) {
    if (!oldIndexBuilt_) {
        oldIndex_.clear();
        try {
            oldIndex_.reserve(static_cast<std::size_t>(count_));
            for (std::int32_t i = 0; i < count_; ++i) oldIndex_.push_back({Entry(i).key, i});
            std::sort(oldIndex_.begin(), oldIndex_.end());
            oldIndexBuilt_ = true;
        } catch (const std::bad_alloc&) {
            oldIndex_.clear();
        }
    }
    if (!oldIndexBuilt_) {
        // Without memory for the index the old entries are searched one by one.
        std::optional<std::int32_t> last;
        for (std::int32_t i = 0; i < count_; ++i) {
            if (Entry(i).key == key) last = i;
        }
        return last;
    }
    // The last of the entries with that key, as a file with a key twice has always been read.
    auto after = std::upper_bound(oldIndex_.begin(), oldIndex_.end(), std::pair{key, count_});
    if (after == oldIndex_.begin() || std::prev(after)->first != key) return std::nullopt;
    return std::prev(after)->second;
}

bool ContactStateFile::NewBytes(std::vector<std::uint8_t>& bytes) {
    Unmap();
    if (!newEntries_) return false;
    try {
        bytes.assign(kHeaderSize + newEntries_->size() * kRecordSize, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::memcpy(bytes.data(), kMagic.data(), kMagic.size());
    StoreLe32(bytes.data() + kVersionOffset, kVersion);
    StoreLe32(bytes.data() + kCountOffset, static_cast<std::uint32_t>(newEntries_->size()));
    for (std::size_t i = 0; i < newEntries_->size(); ++i) {
        StoreRecord(bytes.data() + kHeaderSize + i * kRecordSize, (*newEntries_)[i]);
    }
    return true;
}

bool ContactStateFile::Save() {
    std::vector<std::uint8_t> bytes;
    return NewBytes(bytes) && device::ReplaceFileAtomically(std::u16string_view(path_), bytes.data(), bytes.size());
}

bool ContactStateFile::SavePrepared() {
    std::vector<std::uint8_t> bytes;
    if (!NewBytes(bytes)) return false;
    device::ReplacementFile prepared{std::u16string_view(path_)};
    return prepared.IsOpen() && prepared.Write(bytes.data(), bytes.size()) &&
           prepared.PrepareAs(SwitchPreparedPath(std::u16string_view(path_)));
}

bool ContactStateFile::GetAt(std::int32_t index, ContactRecord& record) const {
    if (index < 0 || index >= count_) return false;
    record = Entry(index);
    return true;
}

bool ContactStateFile::SetAt(std::int32_t index, const ContactRecord& record) {
    if (index < 0 || index >= count_ || !mapping_.Writable()) return false;
    std::size_t offset = kHeaderSize + static_cast<std::size_t>(index) * kRecordSize;
    StoreRecord(mapping_.Data() + offset, record);
    oldIndexBuilt_ = false;
    return mapping_.Flush(offset, kRecordSize);
}

bool ContactStateFile::Find(std::int32_t key, ContactRecord& record) const {
    for (std::int32_t i = 0; i < count_; ++i) {
        ContactRecord entry = Entry(i);
        if (entry.key == key) {
            record = entry;
            return true;
        }
    }
    return false;
}

void ContactStateFile::Close() {
    Unmap();
    newEntries_.reset();
    newCount_ = 0;
}

}  // namespace velmo
