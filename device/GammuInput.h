#pragma once
// Messages as gammu-smsd hands them to its RunOnReceive program: the texts and senders in
// the environment (SMS_MESSAGES, SMS_n_NUMBER, SMS_n_TEXT, DECODED_PARTS, DECODED_n_TEXT)
// and the names of the files it stored them in as arguments. A malformed environment
// throws std::invalid_argument with a message that says what is wrong.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/SmsTransport.h"

namespace velmo::device {

// Gives the value of an environment variable, or std::nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// This process's environment.
std::optional<std::string> ProcessEnvironment(const std::string& name);

// The delivery time in a name that gammu-smsd's files backend gives a received message,
// IN<yyyymmdd>_<hhmmss>_<serial>_<sender>_<part>.<ext>, read as the device's local time;
// a directory before the name is ignored. std::nullopt for any other name.
std::optional<FileTimePoint> GammuFileTime(std::string_view fileName);

// The messages of one RunOnReceive call. The parts of a long message that gammu-smsd
// decoded make one message; otherwise each physical message is one, and the n-th takes its
// delivery time from the n-th file name (now when there is none or it holds no time).
std::vector<IncomingSms> ReadGammuMessages(const EnvironmentLookup& environment,
                                           const std::vector<std::string>& fileNames);

}  // namespace velmo::device
