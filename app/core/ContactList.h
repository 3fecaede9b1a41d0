#pragma once
// The rows of the contact list: the Unknown and Undefined rows, then every address-book
// contact sorted by name, each tied to its entry in ContactsInfo.dat. Loading rebuilds
// the file from the address book, keeping every contact's earlier action.

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/ContactSource.h"
#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"

namespace velmo {

struct ContactListRow {
    std::int32_t recordIndex = -1;  // entry in ContactsInfo.dat; -1 when the row has none
    std::int32_t itemIndex = -1;    // 1-based index in the address book; -1 for the fixed rows
    std::int32_t key = 0;           // the entry's key; 0 when the contact could not be fetched
};

class ContactList {
public:
    static constexpr std::int32_t kUnknownRow = 0;
    static constexpr std::int32_t kUndefinedRow = 1;
    static constexpr std::int32_t kFirstContactRow = 2;

    // RowsRebound: another writer had put a new file in place of the one mapped; the new
    // one is mapped, every row may show another action now, and the row's change went
    // into the new file when the row has an entry there.
    enum class Change { Changed, RowsRebound, NeedsUserSettings, NotChangeable };

    ContactList(ContactStateFile& file, SettingsStore& settings, ContactSource& source);

    // Rebuilds ContactsInfo.dat from the address book, then sorts the contact rows by
    // name in the ContactFormat read now. Without an address book the file is kept as it
    // is and only the two fixed rows are listed.
    void Load();
    // Frees the rows; the file is the caller's to close.
    void Clear() { rows_.clear(); }

    std::int32_t RowCount() const { return static_cast<std::int32_t>(rows_.size()); }
    const std::vector<ContactListRow>& Rows() const { return rows_; }
    std::int16_t CachedFormat() const { return format_; }
    static bool IsFixedRow(std::int32_t row) { return row == kUnknownRow || row == kUndefinedRow; }

    // "Unknown", "Undefined", or the contact's name fetched now (empty when it cannot be).
    std::u16string RowText(std::int32_t row);
    // The row's entry; false when the row has none.
    bool RowRecord(std::int32_t row, ContactRecord& record) const;
    // The picture of ListIcons that the row shows in itemsMode, or -1 for none.
    int IconIndex(std::int32_t row, std::int32_t itemsMode) const;
    // Steps the row's action Accept, Dismiss, Silent accept, Accept and stores it at once;
    // only in the UserSettings items mode. When ContactsInfo.dat was replaced since it was
    // mapped, the new file is mapped first and the rows found in it by their keys.
    Change ChangeAction(std::int32_t row);
    // The row that quick-find selects for text: the first contact whose name sorts at or
    // after it, else the last row.
    std::int32_t FindRow(std::u16string_view text);

private:
    std::u16string ContactName(std::int32_t itemIndex);
    void Rebuild();
    void LoadFixedRowsOnly();
    void SortContactRows(std::vector<std::u16string> names);
    // Points each row at the first entry of the mapped file with its key.
    void BindRowsToFile();

    ContactStateFile& file_;
    SettingsStore& settings_;
    ContactSource& source_;
    std::vector<ContactListRow> rows_;
    std::int16_t format_ = LastFirst;
};

}  // namespace velmo
