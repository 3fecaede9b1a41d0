#pragma once
// The handheld's virtual key code of a key press.

#include <QKeyEvent>

namespace velmo {

// Latin letters and digits give their capital ASCII code, the navigation and editing
// keys their own codes, a letter of another script its UTF-16 unit; every other key
// VK_UNMAPPED.
unsigned VirtualKeyOf(const QKeyEvent& event);

}  // namespace velmo
