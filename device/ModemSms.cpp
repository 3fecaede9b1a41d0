#include "device/ModemSms.h"

#include <stdexcept>

#include "device/SmsInput.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

// One line of the journal holds a key, so neither a tab (the separator) nor a line end
// may stand in it unescaped.
std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Digest(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = digits[hash & 0xF];
    return hex;
}

}  // namespace

std::string ModemSmsKey(std::string_view number, std::string_view timestamp, std::string_view text) {
    return std::string(number) + "\t" + std::string(timestamp) + "\t" + Digest(text);
}

std::optional<FileTimePoint> ModemTimestamp(std::string_view text) {
    if (text.empty()) return std::nullopt;
    // The device's own reading takes whole seconds and a zone of hours and minutes; a
    // fraction is dropped and a zone of hours alone gets its minutes.
    std::string normal(text);
    if (auto dot = normal.find('.', 10); dot != std::string::npos) {
        std::size_t end = dot + 1;
        while (end < normal.size() && IsDigit(normal[end])) ++end;
        if (end == dot + 1) throw std::invalid_argument("\"" + normal + "\" has no digits after its '.'");
        normal.erase(dot, end - dot);
    }
    if (auto sign = normal.find_last_of("+-"); sign != std::string::npos && sign > 10 && normal.size() == sign + 3 &&
                                               IsDigit(normal[sign + 1]) && IsDigit(normal[sign + 2])) {
        normal += ":00";
    }
    try {
        return ParseDeliveryTime(normal);
    } catch (const std::invalid_argument& error) {
        // The device's words name the text it read; the modem's own text is the one to show.
        std::string why = error.what();
        const std::string_view example = "such as 2024-05-01T09:30:00Z: ";
        if (auto at = why.find(example); at != std::string::npos) why = why.substr(at + example.size());
        throw std::invalid_argument("\"" + std::string(text) + "\" is not an ISO 8601 time: " + why);
    }
}

ModemSmsReading ReadModemSms(const ModemSmsProperties& properties) {
    using Kind = ModemSmsReading::Kind;
    ModemSmsReading reading;
    if (!properties.wrongTypes.empty()) {
        std::string names;
        for (const auto& name : properties.wrongTypes) names += (names.empty() ? "" : ", ") + name;
        reading.note = "a property of the wrong type: " + names;
        return reading;
    }
    if (!properties.state) {
        reading.note = "it has no State";
        return reading;
    }
    if (*properties.state == ModemSmsReceiving) {
        reading.kind = Kind::Receiving;
        return reading;
    }
    if (*properties.state > ModemSmsLastKnownState) {
        reading.kind = Kind::Skipped;
        reading.note =
            "its State " + std::to_string(*properties.state) + " is none that ModemManager defines; left on the modem";
        return reading;
    }
    if (*properties.state != ModemSmsReceived) {
        reading.kind = Kind::NotIncoming;
        return reading;
    }
    reading.kind = Kind::Skipped;
    if (properties.pduType == ModemSmsStatusReport) {
        reading.note = "a delivery report, not a message; left on the modem";
        return reading;
    }
    const std::u16string text = WellFormedUtf16(properties.text.value_or(u""));
    if (text.empty() && properties.dataBytes > 0) {
        reading.note = "a binary message of " + std::to_string(properties.dataBytes) +
                       " bytes, which the Inbox cannot hold; left on the modem";
        return reading;
    }
    reading.kind = Kind::Received;
    // A sender without a number (some network messages) is still received: the rule client
    // decides about a sender without digits.
    reading.sms = IncomingSms{WellFormedUtf16(properties.number.value_or(u"")), u"", text, std::nullopt};
    const std::string timestamp = properties.timestamp.value_or("");
    try {
        reading.sms.deliveryTime = ModemTimestamp(timestamp);
    } catch (const std::invalid_argument& error) {
        reading.note = std::string("its Timestamp ") + error.what() + "; received at the device's now";
    }
    reading.key = ModemSmsKey(Escaped(ToUtf8(reading.sms.number)), Escaped(timestamp), Escaped(ToUtf8(text)));
    return reading;
}

}  // namespace velmo::device
