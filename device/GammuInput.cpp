#include "device/GammuInput.h"

#include <charconv>
#include <cstdlib>
#include <stdexcept>

#include "device/SmsInput.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

// A concatenated SMS numbers its parts in one byte, so no call carries more.
constexpr int MaxParts = 255;

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<int> Count(const EnvironmentLookup& environment, const std::string& name, int low) {
    auto value = environment(name);
    if (!value) return std::nullopt;
    int count = -1;
    auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), count);
    if (!AllDigits(*value) || error != std::errc() || end != value->data() + value->size() || count < low ||
        count > MaxParts) {
        throw std::invalid_argument(name + "=\"" + *value + "\" is not a count from " + std::to_string(low) + " to " +
                                    std::to_string(MaxParts));
    }
    return count;
}

std::string Numbered(const char* prefix, int n, const char* field) { return prefix + std::to_string(n) + "_" + field; }

}  // namespace

std::optional<std::string> ProcessEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::optional<FileTimePoint> GammuFileTime(std::string_view fileName) {
    if (auto slash = fileName.rfind('/'); slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    // IN + yyyymmdd + _ + hhmmss + _
    if (fileName.size() < 18 || fileName.substr(0, 2) != "IN" || fileName[10] != '_' || fileName[17] != '_' ||
        !AllDigits(fileName.substr(2, 8)) || !AllDigits(fileName.substr(11, 6))) {
        return std::nullopt;
    }
    std::string iso = std::string(fileName.substr(2, 4)) + "-" + std::string(fileName.substr(6, 2)) + "-" +
                      std::string(fileName.substr(8, 2)) + "T" + std::string(fileName.substr(11, 2)) + ":" +
                      std::string(fileName.substr(13, 2)) + ":" + std::string(fileName.substr(15, 2));
    try {
        return ParseDeliveryTime(iso);
    } catch (const std::invalid_argument&) {
        return std::nullopt;  // a name that only looks like one: the message is still received, at now
    }
}

std::vector<IncomingSms> ReadGammuMessages(const EnvironmentLookup& environment,
                                           const std::vector<std::string>& fileNames) {
    auto messages = Count(environment, "SMS_MESSAGES", 1);
    if (!messages) throw std::invalid_argument("SMS_MESSAGES is not set: gammu-smsd's RunOnReceive sets it");
    int decodedParts = Count(environment, "DECODED_PARTS", 0).value_or(0);

    // The class (0 flash, 1 to 3 where to keep it) is not read: the handheld's transport
    // files every SMS alike. A binary message has no text and arrives empty.
    std::vector<IncomingSms> physical;
    for (int n = 1; n <= *messages; ++n) {
        auto number = environment(Numbered("SMS_", n, "NUMBER"));
        if (!number) {
            throw std::invalid_argument(Numbered("SMS_", n, "NUMBER") + " is not set, though SMS_MESSAGES is " +
                                        std::to_string(*messages));
        }
        IncomingSms sms{ToUtf16(*number), u"", ToUtf16(environment(Numbered("SMS_", n, "TEXT")).value_or("")),
                        std::nullopt};
        if (static_cast<std::size_t>(n) <= fileNames.size()) sms.deliveryTime = GammuFileTime(fileNames[n - 1]);
        physical.push_back(std::move(sms));
    }

    std::optional<std::string> decoded;
    for (int n = 1; n <= decodedParts; ++n) {
        if (auto text = environment(Numbered("DECODED_", n, "TEXT"))) decoded = decoded.value_or("") + *text;
    }
    if (!decoded) return physical;
    // The parts of one long message share its sender; the first part's file dates it.
    physical.front().text = ToUtf16(*decoded);
    physical.resize(1);
    return physical;
}

}  // namespace velmo::device
