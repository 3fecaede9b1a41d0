#include "app/core/ContactList.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "app/core/ContactNameFormat.h"
#include "app/core/NameCompare.h"
#include "app/resources/StringTable.h"
#include "common/ContactStateRebuild.h"

namespace velmo {

namespace {

// Pictures of ListIcons, in the order the user sees the actions.
constexpr int kAcceptIcon = 0;
constexpr int kSilentAcceptIcon = 1;
constexpr int kDismissIcon = 2;

int IconOfAction(std::int32_t action) {
    switch (action) {
        case Accept: return kAcceptIcon;
        case Dismiss: return kDismissIcon;
        case SilentAccept: return kSilentAcceptIcon;
        default: return -1;
    }
}

}  // namespace

ContactList::ContactList(ContactStateFile& file, SettingsStore& settings, ContactSource& source)
    : file_(file), settings_(settings), source_(source) {}

void ContactList::Load() {
    file_.Close();
    format_ = settings_.GetContactFormat();
    if (source_.IsOpen()) {
        // Every load lists the contacts added and removed since the last one.
        source_.Refresh();
        Rebuild();
    } else {
        LoadFixedRowsOnly();
    }
}

std::u16string ContactList::ContactName(std::int32_t itemIndex) {
    auto item = source_.Item(itemIndex);
    return item ? FormatContactName(*item, format_) : std::u16string();
}

void ContactList::Rebuild() {
    std::int32_t defaultAction = settings_.GetDefActionType();
    rows_.clear();
    std::int32_t count = std::max(source_.Count(), 0);
    rows_.reserve(static_cast<std::size_t>(count) + 2);
    rows_.push_back({-1, -1, UnknownSenderKey});
    rows_.push_back({-1, -1, UndefinedSenderKey});
    // Each contact is fetched once: its key for the file and its name for the sort.
    std::vector<std::u16string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 1; i <= count; ++i) {
        ContactListRow row{-1, i, 0};
        std::u16string name;
        if (auto item = source_.Item(i)) {
            std::int32_t oid = 0;
            // Key 0 marks an unfilled entry, so a contact is only stored under a real key.
            if (item->Oid(oid) && oid != 0) row.key = oid;
            name = FormatContactName(*item, format_);
        }
        rows_.push_back(row);
        names.push_back(std::move(name));
    }

    std::vector<std::int32_t> keys;
    keys.reserve(rows_.size() - kFirstContactRow);
    for (std::size_t r = kFirstContactRow; r < rows_.size(); ++r) keys.push_back(rows_[r].key);
    ContactStateRebuild rebuilt = RebuildContactStates(file_, keys, defaultAction);
    rows_[kUnknownRow].recordIndex = rebuilt.unknownIndex;
    rows_[kUndefinedRow].recordIndex = rebuilt.undefinedIndex;
    for (std::size_t r = kFirstContactRow; r < rows_.size(); ++r) {
        rows_[r].recordIndex = rebuilt.contactIndex[r - kFirstContactRow];
    }
    // The old file stays when it cannot be replaced; the rows must then name its entries.
    // One that cannot be opened for update is shown as far as it can be read, and never
    // saved over.
    if (!rebuilt.saved) {
        if (rebuilt.unreadable) file_.OpenForReading();
        BindRowsToFile();
    }
    SortContactRows(std::move(names));
}

void ContactList::LoadFixedRowsOnly() {
    rows_ = {{-1, -1, UnknownSenderKey}, {-1, -1, UndefinedSenderKey}};
    // Without an address book a rebuild would drop every contact's action: the file stays
    // as it is, and is only created when there is none to use (under the rebuild's lock,
    // so that a rebuild elsewhere is never saved over).
    device::LockFile lock;
    lock.Lock(ContactStateLockPath(file_.Path()));
    if (!file_.OpenForUpdate() && !file_.Unreadable()) {
        file_.BeginRebuild(2);
        file_.Add(UnknownSenderKey, Accept);
        file_.Add(UndefinedSenderKey, Accept);
        file_.Save();
        file_.OpenForUpdate();
    }
    if (file_.Unreadable()) file_.OpenForReading();
    BindRowsToFile();
}

void ContactList::BindRowsToFile() {
    std::unordered_map<std::int32_t, std::int32_t> firstIndexOfKey;
    ContactRecord record;
    for (std::int32_t i = file_.Count() - 1; i >= 0; --i) {
        if (file_.GetAt(i, record)) firstIndexOfKey[record.key] = i;
    }
    for (auto& row : rows_) {
        auto found = row.key == 0 ? firstIndexOfKey.end() : firstIndexOfKey.find(row.key);
        row.recordIndex = found == firstIndexOfKey.end() ? -1 : found->second;
    }
}

void ContactList::SortContactRows(std::vector<std::u16string> names) {
    if (names.size() < 2) return;
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&names](std::size_t a, std::size_t b) { return CompareNoCase(names[a], names[b]) < 0; });
    std::vector<ContactListRow> sorted(rows_.begin(), rows_.begin() + kFirstContactRow);
    sorted.reserve(rows_.size());
    for (std::size_t index : order) sorted.push_back(rows_[kFirstContactRow + index]);
    rows_ = std::move(sorted);
}

std::u16string ContactList::RowText(std::int32_t row) {
    if (row < 0 || row >= RowCount()) return {};
    if (row == kUnknownRow) return std::u16string(LoadStringResource(IDS_UNKNOWN));
    if (row == kUndefinedRow) return std::u16string(LoadStringResource(IDS_UNDEFINED));
    return ContactName(rows_[static_cast<std::size_t>(row)].itemIndex);
}

bool ContactList::RowRecord(std::int32_t row, ContactRecord& record) const {
    if (row < 0 || row >= RowCount()) return false;
    return file_.GetAt(rows_[static_cast<std::size_t>(row)].recordIndex, record);
}

int ContactList::IconIndex(std::int32_t row, std::int32_t itemsMode) const {
    switch (itemsMode) {
        case AcceptAll: return kAcceptIcon;
        case SilentAcceptAll: return kSilentAcceptIcon;
        case DismissAll: return kDismissIcon;
        default: break;
    }
    ContactRecord record;
    if (!RowRecord(row, record)) return -1;
    if (itemsMode == UserSettings) return IconOfAction(record.action);
    // An unknown items mode shows the stored number itself, as far as there is a picture.
    return record.action >= 0 && record.action <= kDismissIcon ? record.action : -1;
}

ContactList::Change ContactList::ChangeAction(std::int32_t row) {
    if (settings_.GetItemsState() != UserSettings) return Change::NeedsUserSettings;
    bool replaced = !file_.MapsFileAtPath();
    if (replaced) {
        // The handler reads the file at the path, so that is the one to write.
        if (!file_.OpenForUpdate()) return Change::NotChangeable;
        BindRowsToFile();
    }
    ContactRecord record;
    if (!RowRecord(row, record)) return replaced ? Change::RowsRebound : Change::NotChangeable;
    // A number outside the three actions starts the cycle over.
    record.action = (record.action == Accept || record.action == Dismiss) ? record.action + 1 : Accept;
    if (!file_.SetAt(rows_[static_cast<std::size_t>(row)].recordIndex, record)) return Change::NotChangeable;
    return replaced ? Change::RowsRebound : Change::Changed;
}

std::int32_t ContactList::FindRow(std::u16string_view text) {
    if (RowCount() <= kFirstContactRow) return kUnknownRow;
    bool anyName = false;
    for (std::int32_t row = kFirstContactRow; row < RowCount(); ++row) {
        std::u16string name = RowText(row);
        if (name.empty()) continue;
        anyName = true;
        if (CompareNoCase(name, text) >= 0) return row;
    }
    return anyName ? RowCount() - 1 : kFirstContactRow;
}

}  // namespace velmo
