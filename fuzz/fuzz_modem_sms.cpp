// Arbitrary properties of a ModemManager message: the first byte picks the State and PDU
// type, then a timestamp up to the first NUL, then the text as UTF-16 code units (any, the
// unpaired surrogates included). What is received is well-formed and keyed on one line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/ModemSms.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    velmo::device::ModemSmsProperties properties;
    properties.state = data[0] & 3u;
    properties.pduType = (data[0] >> 2) & 3u;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::size_t nul = rest.find('\0');
    properties.timestamp = rest.substr(0, nul);
    std::u16string text;
    for (std::size_t i = nul == std::string::npos ? rest.size() : nul + 1; i + 1 < rest.size(); i += 2) {
        text +=
            static_cast<char16_t>(static_cast<unsigned char>(rest[i]) | static_cast<unsigned char>(rest[i + 1]) << 8);
    }
    properties.text = text;
    properties.number = text.substr(0, text.size() / 2);
    auto reading = velmo::device::ReadModemSms(properties);
    if (reading.kind != velmo::device::ModemSmsReading::Kind::Received) return 0;
    if (reading.key.find('\n') != std::string::npos || reading.sms.text.size() != text.size()) std::abort();
    for (std::size_t i = 0; i < reading.sms.text.size(); ++i) {
        char16_t c = reading.sms.text[i];
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        bool nextLow =
            i + 1 < reading.sms.text.size() && reading.sms.text[i + 1] >= 0xDC00 && reading.sms.text[i + 1] <= 0xDFFF;
        if (low || (high && !nextLow)) std::abort();
        if (high) ++i;
    }
    return 0;
}
