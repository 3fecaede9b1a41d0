// Arbitrary bytes as a vCard file, alone and as the inside of one card (so that random
// input reaches the property reader): reading must neither crash nor read out of
// bounds, and a file that cannot be read must give nothing but its error, which names a line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/VCard.h"

namespace {

void Check(std::string_view bytes) {
    auto contents = velmo::device::ParseVCards(bytes);
    if (contents.error) {
        if (!contents.contacts.empty() || !contents.notes.empty()) std::abort();
        if (contents.error->line == 0 || contents.error->message.rfind("line ", 0) != 0) std::abort();
    }
    for (const auto& contact : contents.contacts) {
        if (contact.Empty()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes = data != nullptr ? std::string_view(reinterpret_cast<const char*>(data), size) : "";
    Check(bytes);
    Check("BEGIN:VCARD\r\n" + std::string(bytes) + "\r\nEND:VCARD\r\n");
    return 0;
}
