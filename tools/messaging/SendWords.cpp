#include "tools/messaging/SendWords.h"

#include <vector>

namespace velmo::messaging {

namespace {

constexpr std::string_view kLeftInOutbox = "; left in the Outbox";

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// A D-Bus error as the sender writes it, "org.example.Error.Name: what it says", without its name.
std::string_view WithoutErrorName(std::string_view error) {
    std::size_t colon = error.find(": ");
    bool named = colon != std::string_view::npos && error.substr(0, colon).find(' ') == std::string_view::npos &&
                 Contains(error.substr(0, colon), ".");
    return named ? error.substr(colon + 2) : error;
}

}  // namespace

std::string PlainSendReason(std::string_view reason) {
    if (Contains(reason, "no system bus") || Contains(reason, "ModemManager cannot be asked")) {
        return "No modem: ModemManager is not running";
    }
    if (Contains(reason, "no modem with messaging")) return "No modem with messaging";
    for (std::string_view refused : {" did not take the message (", " did not send it ("}) {
        std::size_t at = reason.find(refused);
        if (reason.rfind("modem ", 0) != 0 || at == std::string_view::npos || reason.back() != ')') continue;
        std::string_view inner = reason.substr(at + refused.size());
        inner.remove_suffix(1);
        return "The modem refused the message: " + std::string(WithoutErrorName(inner));
    }
    return std::string(reason);
}

std::string RetrySummary(std::string_view output) {
    std::size_t sent = 0;
    std::vector<std::string> reasons;
    std::size_t failed = 0;
    while (!output.empty()) {
        std::size_t end = output.find('\n');
        std::string_view line = output.substr(0, end);
        output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
        if (line.rfind("sent to ", 0) == 0) {
            ++sent;
        } else if (line.rfind("not sent to ", 0) == 0) {
            ++failed;
            // `not sent to NUMBER "TEXT": REASON; left in the Outbox`
            std::size_t left = line.rfind(kLeftInOutbox);
            std::size_t start = left == std::string_view::npos ? left : line.rfind("\": ", left);
            std::string reason = start == std::string_view::npos
                                     ? std::string("the modem did not take it")
                                     : PlainSendReason(line.substr(start + 3, left - start - 3));
            bool known = false;
            for (const std::string& said : reasons) known = known || said == reason;
            if (!known) reasons.push_back(reason);
        }
    }
    if (failed == 0) return {};
    std::size_t total = sent + failed;
    std::string summary = std::to_string(sent) + " of " + std::to_string(total) +
                          (total == 1 ? " message was sent." : " messages were sent.");
    for (const std::string& reason : reasons) summary += "\n" + reason + ".";
    if (sent == 0) {
        summary += failed == 1 ? "\nIt waits in the Outbox." : "\nThey wait in the Outbox.";
    } else {
        summary += failed == 1 ? "\nThe other waits in the Outbox." : "\nThe others wait in the Outbox.";
    }
    return summary;
}

}  // namespace velmo::messaging
