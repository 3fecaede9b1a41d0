#pragma once
// What the device's sender says of a message that did not go, in the words of the person who
// sent it: the sender names buses, sockets and modem paths, which mean nothing on the screen.

#include <string>
#include <string_view>

namespace velmo::messaging {

// One reason of the sender, e.g. "No modem: ModemManager is not running" for a system bus
// that cannot be reached; a reason it does not know stays as it is.
std::string PlainSendReason(std::string_view reason);

// What `sms send --retry` printed, one line a message ("sent to …" or "not sent to …: REASON;
// left in the Outbox"), told as how many of how many went and why the others did not; empty
// when every message went, or when the output names none.
std::string RetrySummary(std::string_view output);

}  // namespace velmo::messaging
