#include "tools/messaging/SenderNames.h"

#include <exception>

#include "app/core/ContactNameFormat.h"
#include "app/core/PoomContactSource.h"
#include "common/PhoneDigits.h"
#include "common/SettingsStore.h"

namespace velmo::messaging {

SenderNames::SenderNames() { Reload(); }

void SenderNames::Reload() {
    // A failed refresh keeps the contacts read before, which still name their numbers.
    if (open_) {
        contacts_.Refresh();
    } else {
        open_ = contacts_.Open();
    }
    SettingsStore settings;
    format_ = settings.GetContactFormat();
    bookVersion_ = BookVersion();
    byDigits_.clear();
    positions_.clear();
}

bool SenderNames::Changed() { return BookVersion() != bookVersion_ || SettingsStore().GetContactFormat() != format_; }

long long SenderNames::BookVersion() {
    if (!book_ && device::ContactStore::Exists()) {
        try {
            book_ = std::make_unique<device::ContactStore>(device::ContactStore::ReadOnly);
        } catch (const std::exception&) {
            // A book that cannot be opened now is tried again at the next look.
            return -1;
        }
    }
    return book_ ? book_->DataVersion() : -1;
}

std::u16string SenderNames::Shown(std::u16string_view address, std::u16string_view name) {
    std::u16string digits = KeepDigits(address);
    if (!digits.empty() && open_) {
        auto cached = byDigits_.find(digits);
        if (cached == byDigits_.end()) {
            std::u16string contactName;
            std::int32_t key = 0;
            if (contacts_.FindContact(digits, key)) {
                if (positions_.empty()) {
                    // The collection is 1-based and in the order of its keys.
                    std::vector<std::int32_t> keys = contacts_.Keys();
                    for (std::size_t i = 0; i < keys.size(); ++i) positions_.emplace(keys[i], static_cast<int>(i + 1));
                }
                auto position = positions_.find(key);
                IContact* contact = position != positions_.end() ? contacts_.Item(position->second) : nullptr;
                if (contact != nullptr) contactName = FormatContactName(*WrapContact(contact), format_);
            }
            cached = byDigits_.emplace(digits, std::move(contactName)).first;
        }
        if (!cached->second.empty()) return cached->second;
    }
    if (!name.empty()) return std::u16string(name);
    return std::u16string(address);
}

}  // namespace velmo::messaging
