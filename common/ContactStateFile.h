#pragma once
// ContactsInfo.dat: the action the user gave each address-book contact, rebuilt and
// edited by VelmoLight and read by VelmoHandler once per message. Both map the whole
// file; the layout is a 128-byte header followed by 8-byte records, little-endian.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "device/Files.h"

namespace velmo {

struct ContactRecord {
    std::int32_t action = 0;  // a FilterAction
    std::int32_t key = 0;     // address-book object identifier, UnknownSenderKey or UndefinedSenderKey
    friend bool operator==(const ContactRecord&, const ContactRecord&) = default;
};
static_assert(sizeof(ContactRecord) == 8);

class ContactStateFile {
public:
    static constexpr std::size_t kPathUnits = 260;
    static constexpr std::size_t kHeaderSize = 128;
    static constexpr std::size_t kRecordSize = 8;
    static constexpr std::uint32_t kVersion = 0x00010001;

    ContactStateFile() = default;
    ContactStateFile(const ContactStateFile&) = delete;
    ContactStateFile& operator=(const ContactStateFile&) = delete;

    // Takes the file name up to its first zero unit; a name that does not fit in the
    // 260-unit buffer with its terminator is refused and leaves the path empty.
    bool SetPath(std::u16string_view path);

    std::u16string_view Path() const { return path_; }

    // Application side.
    // Opens the current file for update and starts a new set of entries that keeps its
    // actions; true when the old file was opened. A missing file or one without a valid
    // header holds no entries and the rebuild starts from the defaults, but a file that is
    // there and cannot be opened or read starts none (Add and Save then refuse): its
    // actions would be lost.
    bool BeginRebuild(std::int32_t capacity);
    // Whether the last open found something at the path that it could not open or read.
    bool Unreadable() const { return unreadable_; }
    // Index of the new entry, or -1 when no rebuild is under way or it is full.
    std::int32_t Add(std::int32_t key, std::int32_t defaultAction);
    // Gives the entry that Add returned as index another action before the Save; false
    // when no such entry has been added.
    bool SetNewAction(std::int32_t index, std::int32_t action);
    // The entry that Add returned as index; an empty record when there is none.
    ContactRecord NewEntry(std::int32_t index) const;
    // Replaces the file atomically with the rebuilt entries; on failure the old file stays.
    bool Save();
    // Writes the rebuilt entries to the file's prepared new file for a switch with others
    // (see FileSwitch.h), leaving the file itself as it is.
    bool SavePrepared();
    bool OpenForUpdate();
    std::int32_t Count() const { return count_; }
    bool GetAt(std::int32_t index, ContactRecord& record) const;
    bool SetAt(std::int32_t index, const ContactRecord& record);
    // Whether the mapping is still the file at the path, which another writer may have
    // replaced meanwhile; writes into a replaced file would reach no reader.
    bool MapsFileAtPath() const { return mapping_.IsFileAt(std::u16string_view(path_)); }

    // Handler side.
    bool OpenForReading();
    bool Find(std::int32_t key, ContactRecord& record) const;

    void Close();

private:
    bool Map(device::MappedFile::Mode mode);
    bool NewBytes(std::vector<std::uint8_t>& bytes);
    void Unmap();
    ContactRecord Entry(std::int32_t index) const;
    // The index of the last entry of the mapped file with that key.
    std::optional<std::int32_t> LastOldEntry(std::int32_t key);

    char16_t path_[kPathUnits] = {};
    device::MappedFile mapping_;
    std::int32_t count_ = 0;
    bool unreadable_ = false;
    // The entries of the next Save; absent when no rebuild has begun since the last Close.
    std::optional<std::vector<ContactRecord>> newEntries_;
    std::int32_t newCount_ = 0;
    // The mapped entries as (key, index), sorted, so that a rebuild finds each old action in
    // O(log n); built at the first Add after the mapping or an entry changed.
    std::vector<std::pair<std::int32_t, std::int32_t>> oldIndex_;
    bool oldIndexBuilt_ = false;
};

}  // namespace velmo
