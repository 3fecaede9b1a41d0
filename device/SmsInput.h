#pragma once
// Incoming messages as a person or a script gives them to the transport: a delivery time
// in ISO 8601 and batch files of one message a line. Bad input throws std::invalid_argument
// with a message that says what is wrong.

#include <istream>
#include <optional>
#include <string_view>

#include "device/SmsTransport.h"

namespace velmo::device {

// "2024-05-01T09:30", "2024-05-01T09:30:15Z", "2024-05-01 09:30:15+02:00": without a zone
// the time is the device's local time (TZ). Years 1601 to 9999; an instant before
// 1601-01-01 UTC has no FILETIME and is refused.
FileTimePoint ParseDeliveryTime(std::string_view text);

// A line of a batch: number, name (may be empty), text and an optional delivery time,
// separated by tabs. A NUL byte in the line makes it a bad line: the stored text would
// end there.
IncomingSms ParseSmsLine(std::string_view line);

// The messages of a batch, one at a time as they are read, so that a pipe can feed a
// running transport. Empty lines and lines that start with '#' are skipped.
class SmsBatchReader {
public:
    explicit SmsBatchReader(std::istream& in) : in_(in) {}
    // The next message, or std::nullopt at the end; a bad line, or a read that fails before
    // the end, throws, naming the line.
    std::optional<IncomingSms> Next();

private:
    std::istream& in_;
    int line_ = 0;
};

}  // namespace velmo::device
