#include "handler/SenderAddress.h"

namespace velmo {

std::u16string ExtractSenderAddress(std::u16string_view text) {
    std::size_t open = text.find(u'<');
    if (open == std::u16string_view::npos) return std::u16string(text);
    std::size_t close = text.rfind(u'>');
    if (close == std::u16string_view::npos || close < open) return std::u16string(text.substr(open + 1));
    return std::u16string(text.substr(open + 1, close - open - 1));
}

}  // namespace velmo
