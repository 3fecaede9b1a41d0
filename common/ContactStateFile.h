#pragma once
// ContactsInfo.dat: the action the user gave each address-book contact, rebuilt and
// edited by VelmoLight and read by VelmoHandler once per message. Both map the whole
// file; the layout is a 128-byte header followed by 8-byte records, little-endian.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <string_view>
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

    // Application side.
    bool BeginRebuild(std::int32_t capacity);
    // Index of the new entry, or -1 when no rebuild is under way or it is full.
    std::int32_t Add(std::int32_t key, std::int32_t defaultAction);
    // Replaces the file atomically with the rebuilt entries; on failure the old file stays.
    bool Save();
    bool OpenForUpdate();
    std::int32_t Count() const { return count_; }
    bool GetAt(std::int32_t index, ContactRecord& record) const;
    bool SetAt(std::int32_t index, const ContactRecord& record);

    // Handler side.
    bool OpenForReading();
    bool Find(std::int32_t key, ContactRecord& record) const;

    void Close();

private:
    bool Map(device::MappedFile::Mode mode);
    void Unmap();
    ContactRecord Entry(std::int32_t index) const;
    // The index of the last entry of the mapped file with that key.
    std::optional<std::int32_t> LastOldEntry(std::int32_t key);

    char16_t path_[kPathUnits] = {};
    device::MappedFile mapping_;
    std::int32_t count_ = 0;
    // The entries of the next Save; absent when no rebuild has begun since the last Close.
    std::optional<std::vector<ContactRecord>> newEntries_;
    std::int32_t newCount_ = 0;
    // The mapped entries as (key, index), sorted, so that a rebuild finds each old action in
    // O(log n); built at the first Add after the mapping or an entry changed.
    std::vector<std::pair<std::int32_t, std::int32_t>> oldIndex_;
    bool oldIndexBuilt_ = false;
};

}  // namespace velmo
