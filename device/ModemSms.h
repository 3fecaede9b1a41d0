#pragma once
// A received SMS as ModemManager describes it on D-Bus (the properties of an
// org.freedesktop.ModemManager1.Sms object), read into what the transport receives. The
// values arrive here already taken out of D-Bus; a property of the wrong type is listed by
// name, so that this stays free of any D-Bus library.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/SmsTransport.h"

namespace velmo::device {

// The states and PDU type that ModemManager gives a message.
inline constexpr std::uint32_t ModemSmsReceiving = 2;
inline constexpr std::uint32_t ModemSmsReceived = 3;
inline constexpr std::uint32_t ModemSmsLastKnownState = 5;  // sent
inline constexpr std::uint32_t ModemSmsStatusReport = 3;

struct ModemSmsProperties {
    std::optional<std::uint32_t> state;
    std::optional<std::uint32_t> pduType;
    std::optional<std::u16string> number;
    std::optional<std::u16string> text;
    std::optional<std::string> timestamp;  // ISO 8601 with an offset, as ModemManager writes it
    std::size_t dataBytes = 0;             // of "Data", the body of a binary message
    std::vector<std::string> wrongTypes;   // names of properties whose value has another type
};

struct ModemSmsReading {
    enum class Kind {
        Received,     // ready for the transport
        Receiving,    // parts are still missing: ask again when its State changes
        NotIncoming,  // stored, sending or sent: none of the receiver's business
        Skipped,      // received (or in a State unknown here), but left on the modem for the reason in note
        Malformed,    // the properties cannot be read; note says why
    };
    Kind kind = Kind::Malformed;
    IncomingSms sms;
    // The message's identity, the same for every reading of it: number, timestamp and a
    // digest of the text (ModemSmsKey).
    std::string key;
    // For a person, when something about the message deserves a line: why it is skipped or
    // malformed, or that its timestamp was unreadable and now stands in for it.
    std::string note;
};

ModemSmsReading ReadModemSms(const ModemSmsProperties& properties);

// The key of a message from its number, timestamp and text as one journal line holds them
// (tabs and line ends escaped): the text stands in it as a 64-bit FNV-1a digest in hex.
std::string ModemSmsKey(std::string_view number, std::string_view timestamp, std::string_view text);

// "2024-05-01T09:30:15+02", "…+05:30", "…+0530", "…Z", with or without fractions of a
// second; no zone means the device's local time. std::nullopt for an empty text (the
// modem gave none); throws std::invalid_argument, saying why, for anything else.
std::optional<FileTimePoint> ModemTimestamp(std::string_view text);

}  // namespace velmo::device
