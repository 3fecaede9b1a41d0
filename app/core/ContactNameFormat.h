#pragma once
// The name under which the contact list shows, sorts and finds a contact.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/ContactSource.h"

namespace velmo {

inline constexpr std::size_t kMaxDisplayName = 255;

// The contact's names in the ContactFormat's order; when the format yields nothing, its
// file-as name, company or first telephone number. At most kMaxDisplayName units: a
// longer name ends in an ellipsis.
std::u16string FormatContactName(ContactItem& contact, std::int32_t contactFormat);

}  // namespace velmo
