#pragma once
// The sender of a message as the phone shows it to a person.

#include <string>
#include <string_view>

namespace velmo::cli {

// The name of the address-book contact that owns the number, under the device's name
// format ("ContactFormat"), else the sender name the message carries; empty when neither.
std::u16string SenderName(std::u16string_view number, std::u16string_view carriedName);

// SenderName, or the number when there is no name.
std::u16string SenderAsShown(std::u16string_view number, std::u16string_view carriedName);

}  // namespace velmo::cli
