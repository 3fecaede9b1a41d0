#pragma once
// Text that came from someone else (a sender, a file) made safe to print: a terminal or a
// log shows its control characters instead of obeying them.

#include <string>
#include <string_view>

namespace velmo::device {

// The UTF-8 text with every control character written out: ESC as `\e`, line feed, tab and
// carriage return as `\n`, `\t`, `\r`, the other C0 controls and DEL as `\xNN`, the C1
// controls and the bidirectional controls as `\uNNNN`; a byte that is not UTF-8 becomes
// U+FFFD and everything else stays as it is.
std::string VisibleText(std::string_view utf8);

}  // namespace velmo::device
