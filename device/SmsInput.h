#pragma once
// Incoming messages as a person or a script gives them to the transport: a delivery time
// in ISO 8601 and batch files of one message a line. Bad input throws std::invalid_argument
// with a message that says what is wrong.

#include <istream>
#include <string_view>
#include <vector>

#include "device/SmsTransport.h"

namespace velmo::device {

// "2024-05-01T09:30", "2024-05-01T09:30:15Z", "2024-05-01 09:30:15+02:00": without a zone
// the time is the device's local time (TZ).
TimePoint ParseDeliveryTime(std::string_view text);

// A line of a batch: number, name (may be empty), text and an optional delivery time,
// separated by tabs.
IncomingSms ParseSmsLine(std::string_view line);

// Every message of a batch file; empty lines and lines that start with '#' are skipped.
// The error names the line.
std::vector<IncomingSms> ReadSmsBatch(std::istream& in);

}  // namespace velmo::device
