// Arbitrary environments and file names for `sms receive --gammu`: either a refusal, or one
// message per physical message, or one message for the whole long message. The input is a
// list of entries separated by NUL bytes; an entry's first byte picks the variable (or a
// file name), and a count is mostly a small number so that the messages are reached.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/GammuInput.h"

namespace {

const char* const Names[] = {"SMS_MESSAGES", "DECODED_PARTS",  "SMS_1_NUMBER",   "SMS_1_TEXT",
                             "SMS_2_NUMBER", "SMS_2_TEXT",     "SMS_3_NUMBER",   "SMS_3_TEXT",
                             "SMS_1_CLASS",  "DECODED_1_TEXT", "DECODED_2_TEXT", "DECODED_3_TEXT"};
constexpr std::size_t NameCount = sizeof Names / sizeof Names[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::string> environment;
    std::vector<std::string> files;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\0', start);
        if (end == std::string::npos) end = input.size();
        std::string entry = input.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        auto pick = static_cast<unsigned char>(entry[0]);
        std::string value = entry.substr(1);
        if (pick % (NameCount + 1) == NameCount) {
            files.push_back(value);
            continue;
        }
        std::string name = Names[pick % (NameCount + 1)];
        bool count = name == "SMS_MESSAGES" || name == "DECODED_PARTS";
        if (count && !value.empty() && static_cast<unsigned char>(value[0]) < 0xF0) {
            value = std::to_string(static_cast<unsigned char>(value[0]) % 5);
        }
        environment[name] = value;
    }
    auto lookup = [&environment](const std::string& name) -> std::optional<std::string> {
        auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
    };
    try {
        auto messages = velmo::device::ReadGammuMessages(lookup, files);
        std::size_t physical = std::stoul(environment.at("SMS_MESSAGES"));
        if (messages.empty() || (messages.size() != 1 && messages.size() != physical)) std::abort();
        for (const auto& sms : messages) {
            if (!sms.name.empty()) std::abort();
        }
    } catch (const std::invalid_argument&) {}
    return 0;
}
