#include "device/SmsInput.h"

#include <charconv>
#include <ctime>
#include <stdexcept>
#include <string>

#include "device/Text.h"

namespace velmo::device {

namespace {

class TimeText {
public:
    explicit TimeText(std::string_view text) : text_(text) {}

    // what names the field, as in "the year must be 4 digits, 1601 to 9999".
    int Number(std::size_t digits, int low, int high, const char* what) {
        int value = 0;
        bool ok = text_.size() - pos_ >= digits;
        if (ok) {
            auto [end, error] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + digits, value);
            ok = error == std::errc() && end == text_.data() + pos_ + digits && value >= low && value <= high;
        }
        if (!ok) {
            Fail(std::string("the ") + what + " must be " + std::to_string(digits) + " digits, " + Padded(low, digits) +
                 " to " + Padded(high, digits) + ", not " + Found(digits));
        }
        pos_ += digits;
        return value;
    }
    bool Take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    // what is the expected text, as in "'-' after the year".
    void Expect(char c, const char* what) {
        if (!Take(c)) Fail(std::string("expected ") + what + ", not " + Found(1));
    }
    bool AtEnd() const { return pos_ == text_.size(); }
    void ExpectEnd(const char* after) {
        if (!AtEnd()) Fail(std::string("nothing may follow the ") + after + ", but " + Found(text_.size()) + " does");
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::invalid_argument("\"" + std::string(text_) +
                                    "\" is not a time such as 2024-05-01T09:30:00Z: " + what);
    }

private:
    // The next units of the text, quoted, or the end when there are none.
    std::string Found(std::size_t units) const {
        if (pos_ >= text_.size()) return "the end of the text";
        return "\"" + std::string(text_.substr(pos_, units)) + "\"";
    }
    static std::string Padded(int value, std::size_t digits) {
        std::string text = std::to_string(value);
        return std::string(digits > text.size() ? digits - text.size() : 0, '0') + text;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

FileTimePoint ParseDeliveryTime(std::string_view text) {
    using namespace std::chrono;
    TimeText in(text);
    int year = in.Number(4, 1601, 9999, "year");
    in.Expect('-', "'-' after the year");
    int month = in.Number(2, 1, 12, "month");
    in.Expect('-', "'-' after the month");
    int day = in.Number(2, 1, 31, "day");
    year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                        std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) in.Fail("no such day in the calendar");
    if (!in.Take('T')) in.Expect(' ', "'T' or a space between the date and the time");
    int hour = in.Number(2, 0, 23, "hour");
    in.Expect(':', "':' after the hour");
    int minute = in.Number(2, 0, 59, "minute");
    int second = in.Take(':') ? in.Number(2, 0, 59, "second") : 0;
    seconds clock = hours(hour) + minutes(minute) + seconds(second);
    // Seconds hold every accepted year; FILETIME's unit is reached only from there.
    auto exact = [&in](sys_seconds instant) {
        if (instant < sys_days(std::chrono::year(1601) / January / 1)) {
            in.Fail("it is before 1601-01-01 UTC, the earliest time a message can carry");
        }
        if (instant >= sys_days(std::chrono::year(10000) / January / 1)) {
            in.Fail("it is after 9999-12-31 23:59:59 UTC, the latest time a message can carry");
        }
        return time_point_cast<FileTimeTicks>(instant);
    };

    if (in.Take('Z')) {
        in.ExpectEnd("zone");
        return exact(sys_days(date) + clock);
    }
    bool east = in.Take('+');
    if (east || in.Take('-')) {
        int zoneHours = in.Number(2, 0, 23, "zone's hours");
        in.Take(':');
        int zoneMinutes = in.Number(2, 0, 59, "zone's minutes");
        in.ExpectEnd("zone");
        seconds offset = hours(zoneHours) + minutes(zoneMinutes);
        return exact(sys_days(date) + clock - (east ? offset : -offset));
    }
    in.ExpectEnd("time (a zone is Z, +hh:mm or -hh:mm)");
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // the zone's rule decides
    std::time_t instant = std::mktime(&local);
    if (instant == static_cast<std::time_t>(-1)) in.Fail("not a local time of this device");
    return exact(sys_seconds(seconds(instant)));
}

IncomingSms ParseSmsLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fields = SplitTabs(line);
    if (fields.size() < 3 || fields.size() > 4) {
        throw std::invalid_argument("expected number, name, text and an optional time separated by tabs, found " +
                                    std::to_string(fields.size()) + " field" + (fields.size() == 1 ? "" : "s"));
    }
    if (fields[0].empty()) throw std::invalid_argument("the sender's number is empty");
    static const char* const kFieldNames[] = {"number", "name", "text", "time"};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].find('\0') != std::string_view::npos) {
            throw std::invalid_argument(std::string("the ") + kFieldNames[i] + " holds a NUL byte");
        }
    }
    IncomingSms sms{ToUtf16(fields[0]), ToUtf16(fields[1]), ToUtf16(fields[2]), std::nullopt};
    if (fields.size() == 4 && !fields[3].empty()) sms.deliveryTime = ParseDeliveryTime(fields[3]);
    return sms;
}

std::optional<IncomingSms> SmsBatchReader::Next() {
    std::string line;
    while (std::getline(in_, line)) {
        ++line_;
        if (line.empty() || line == "\r" || line.front() == '#') continue;
        try {
            return ParseSmsLine(line);
        } catch (const std::invalid_argument& error) {
            throw std::invalid_argument("line " + std::to_string(line_) + ": " + error.what());
        }
    }
    // A failed read is no end of the batch: the messages after it would be lost unseen.
    if (in_.bad()) throw std::invalid_argument("line " + std::to_string(line_ + 1) + " cannot be read");
    return std::nullopt;
}

}  // namespace velmo::device
