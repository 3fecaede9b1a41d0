// Arbitrary batch files for `sms receive --batch`: every line is a message or a refusal that
// names its line, what is taken comes whole from the line's fields (no NUL cuts it short),
// and every delivery time taken has a FILETIME.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "device/SmsInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    velmo::device::SmsBatchReader reader(in);
    try {
        while (auto sms = reader.Next()) {
            if (sms->number.empty()) std::abort();
            for (char16_t c : sms->number + sms->name + sms->text) {
                if (c == u'\t' || c == u'\n' || c == u'\0') std::abort();
            }
            // Every time taken has a FILETIME, and the conversion is exact.
            if (sms->deliveryTime) {
                std::uint64_t fileTime = velmo::device::FileTimeOf(*sms->deliveryTime);
                if (static_cast<std::int64_t>(fileTime) < 0) std::abort();
            }
        }
    } catch (const std::invalid_argument& error) {
        if (std::string(error.what()).rfind("line ", 0) != 0) std::abort();
    }
    return 0;
}
