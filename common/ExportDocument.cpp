#include "common/ExportDocument.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/BlockedMessageTexts.h"
#include "common/TextRuleMatcher.h"
#include "device/Clock.h"
#include "device/Text.h"

namespace velmo {

namespace {

using Json = nlohmann::ordered_json;

// A fault in the file: where (a JSON pointer) and what is wrong there.
struct Fault {
    std::string at;
    std::string what;
};

struct ScopeName {
    const char* name;
    TextRuleScope scope;
};
constexpr ScopeName kScopes[] = {
    {"text", TextRuleScope::Text}, {"sender", TextRuleScope::Sender}, {"both", TextRuleScope::Both}};

// A text as a JSON string; one that UTF-8 cannot carry (a lone surrogate half, as a damaged
// record may hold) as the list of its UTF-16 units, so that it comes back unit for unit.
Json TextJson(std::u16string_view text) {
    if (device::WellFormedUtf16(text) == text) return device::ToUtf8(text);
    Json units = Json::array();
    for (char16_t unit : text) units.push_back(static_cast<unsigned>(unit));
    return units;
}

Json TimeJson(const TimeOfDay& time) {
    return Json{{"hour", time.hour}, {"minute", time.minute}, {"second", time.second}};
}

const char* ScopeText(TextRuleScope scope) {
    for (const auto& entry : kScopes) {
        if (entry.scope == scope) return entry.name;
    }
    return "text";
}

[[noreturn]] void Fail(const std::string& at, const std::string& what) { throw Fault{at, what}; }

const Json& Member(const Json& object, const char* name, const std::string& at) {
    auto found = object.find(name);
    if (found == object.end()) Fail(at, std::string("the member \"") + name + "\" is missing");
    return *found;
}

void RequireObject(const Json& value, const std::string& at, std::initializer_list<const char*> members) {
    if (!value.is_object()) Fail(at, "must be an object");
    for (const auto& item : value.items()) {
        // A name of its own: clang 14 cannot capture a structured binding in the lambda.
        const std::string& name = item.key();
        if (std::none_of(members.begin(), members.end(), [&](const char* m) { return name == m; })) {
            Fail(at + "/" + name, "is no member of this format");
        }
    }
}

const Json& RequireArray(const Json& value, const std::string& at) {
    if (!value.is_array()) Fail(at, "must be a list");
    return value;
}

std::int64_t Integer(const Json& value, const std::string& at, std::int64_t min, std::int64_t max) {
    bool whole = value.is_number_integer() || value.is_number_unsigned();
    bool inRange = false;
    if (value.is_number_unsigned()) {
        // The reader takes every number without a sign as unsigned, 0 as well.
        const std::uint64_t number = value.get<std::uint64_t>();
        inRange = number <= static_cast<std::uint64_t>(max) && (min <= 0 || number >= static_cast<std::uint64_t>(min));
    } else if (whole) {
        inRange = value.get<std::int64_t>() >= min && value.get<std::int64_t>() <= max;
    }
    if (!inRange) {
        Fail(at, "must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return value.get<std::int64_t>();
}

std::int16_t Short(const Json& object, const char* name, const std::string& at) {
    return static_cast<std::int16_t>(Integer(Member(object, name, at), at + "/" + name,
                                             std::numeric_limits<std::int16_t>::min(),
                                             std::numeric_limits<std::int16_t>::max()));
}

std::int32_t Long(const Json& value, const std::string& at) {
    return static_cast<std::int32_t>(
        Integer(value, at, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A text of at most maxUnits UTF-16 units, none of them zero (the zero unit ends a stored text).
std::u16string Text(const Json& value, const std::string& at, std::size_t maxUnits) {
    std::u16string text;
    if (value.is_string()) {
        text = device::ToUtf16(value.get<std::string>());
    } else if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            text.push_back(static_cast<char16_t>(Integer(value[i], at + "/" + std::to_string(i), 1, 0xFFFF)));
        }
    } else {
        Fail(at, "must be a text");
    }
    if (text.find(u'\0') != std::u16string::npos) Fail(at, "must not hold the character U+0000");
    if (text.size() > maxUnits) {
        Fail(at,
             "is " + std::to_string(text.size()) + " UTF-16 units long; at most " + std::to_string(maxUnits) + " fit");
    }
    return text;
}

TimeOfDay Time(const Json& object, const char* name, const std::string& parent) {
    const std::string at = parent + "/" + name;
    const Json& value = Member(object, name, parent);
    RequireObject(value, at, {"hour", "minute", "second"});
    return {Long(Member(value, "hour", at), at + "/hour"), Long(Member(value, "minute", at), at + "/minute"),
            Long(Member(value, "second", at), at + "/second")};
}

ExportedSettings ReadSettings(const Json& value) {
    const std::string at = "/settings";
    RequireObject(value, at,
                  {"AppPath", "ActiveState", "ItemsState", "DefActionType", "ContactFormat", "StartTime", "EndTime",
                   "WeekDays", "DeleteTimeType", "BlockedMsg", "SilentMsg"});
    ExportedSettings settings;
    const Json& appPath = Member(value, "AppPath", at);
    if (!appPath.is_null()) settings.appPath = Text(appPath, at + "/AppPath", MAX_PATH - 1);
    settings.activeState = Short(value, "ActiveState", at);
    settings.itemsState = Short(value, "ItemsState", at);
    settings.defActionType = Short(value, "DefActionType", at);
    settings.contactFormat = Short(value, "ContactFormat", at);
    settings.startTime = Time(value, "StartTime", at);
    settings.endTime = Time(value, "EndTime", at);
    settings.weekDays = static_cast<std::uint32_t>(
        Integer(Member(value, "WeekDays", at), at + "/WeekDays", 0, std::numeric_limits<std::uint32_t>::max()));
    settings.deleteTimeType = Short(value, "DeleteTimeType", at);
    settings.blockedMsg = Short(value, "BlockedMsg", at);
    settings.silentMsg = Short(value, "SilentMsg", at);
    return settings;
}

ExportedContact ReadContact(const Json& value, const std::string& at) {
    RequireObject(value, at, {"key", "action", "name", "numbers", "emails", "shown"});
    ExportedContact contact;
    contact.key = Long(Member(value, "key", at), at + "/key");
    if (contact.key == 0) Fail(at + "/key", "0 is no contact's key");
    contact.action = Long(Member(value, "action", at), at + "/action");
    if (auto name = value.find("name"); name != value.end()) contact.name = Text(*name, at + "/name", 1024);
    if (auto numbers = value.find("numbers"); numbers != value.end()) {
        RequireArray(*numbers, at + "/numbers");
        for (std::size_t i = 0; i < numbers->size(); ++i) {
            contact.numbers.push_back(Text((*numbers)[i], at + "/numbers/" + std::to_string(i), 1024));
        }
    }
    if (auto emails = value.find("emails"); emails != value.end()) {
        RequireArray(*emails, at + "/emails");
        for (std::size_t i = 0; i < emails->size(); ++i) {
            contact.emails.push_back(Text((*emails)[i], at + "/emails/" + std::to_string(i), 1024));
        }
    }
    if (auto shown = value.find("shown"); shown != value.end()) contact.shown = Text(*shown, at + "/shown", 1024);
    return contact;
}

TextRule ReadTextRule(const Json& value, const std::string& at) {
    RequireObject(value, at, {"action", "regex", "in", "pattern"});
    TextRule rule;
    rule.action = Long(Member(value, "action", at), at + "/action");
    if (rule.action != Accept && rule.action != Dismiss && rule.action != SilentAccept) {
        Fail(at + "/action", "must be 0 (accept), 1 (dismiss) or 2 (silent accept)");
    }
    const Json& regex = Member(value, "regex", at);
    if (!regex.is_boolean()) Fail(at + "/regex", "must be true or false");
    rule.regex = regex.get<bool>();
    const Json& in = Member(value, "in", at);
    auto scope = std::find_if(std::begin(kScopes), std::end(kScopes),
                              [&](const ScopeName& s) { return in.is_string() && in.get<std::string>() == s.name; });
    if (scope == std::end(kScopes)) Fail(at + "/in", "must be \"text\", \"sender\" or \"both\"");
    rule.lookIn = scope->scope;
    rule.pattern = Text(Member(value, "pattern", at), at + "/pattern", MaxTextRulePatternUnits);
    if (std::string why = TextRulePatternError(rule); !why.empty()) Fail(at + "/pattern", "cannot be used: " + why);
    return rule;
}

template <std::size_t N>
void CopyField(char16_t (&field)[N], const Json& object, const char* name, const std::string& at) {
    // A record read from a file may fill its field to the end; it comes back as it was.
    std::u16string text = Text(Member(object, name, at), at + "/" + name, N);
    std::copy(text.begin(), text.end(), field);
}

BlockedMessageRecord ReadBlockedMessage(const Json& value, const std::string& at, std::u16string& wholeText) {
    RequireObject(value, at, {"senderAddress", "subject", "senderName", "deliveryTime"});
    BlockedMessageRecord record{};
    CopyField(record.senderAddress, value, "senderAddress", at);
    // A text longer than the record's field keeps its start there and the whole beside it.
    wholeText = Text(Member(value, "subject", at), at + "/subject", kMaxWholeTextUnits);
    if (wholeText.size() <= std::size(record.subject)) {
        std::copy(wholeText.begin(), wholeText.end(), record.subject);
    } else {
        std::copy_n(MakeBlockedMessageRecord(nullptr, wholeText.c_str(), nullptr, {}).subject,
                    std::size(record.subject), record.subject);
    }
    CopyField(record.senderName, value, "senderName", at);
    const Json& time = Member(value, "deliveryTime", at);
    if (!time.is_number_unsigned() && !(time.is_number_integer() && time.get<std::int64_t>() >= 0)) {
        Fail(at + "/deliveryTime", "must be a whole number from 0 to 18446744073709551615 (a FILETIME)");
    }
    const std::uint64_t ticks = time.get<std::uint64_t>();
    record.deliveryTime.dwLowDateTime = static_cast<DWORD>(ticks);
    record.deliveryTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return record;
}

ExportDocument ReadDocument(const Json& root) {
    if (!root.is_object()) Fail("", "the file must hold one JSON object");
    auto format = root.find("format");
    if (format == root.end() || !format->is_string() || format->get<std::string>() != ExportFormatName) {
        Fail("/format", std::string("must be \"") + ExportFormatName + "\": this is no Velmo export");
    }
    const Json& versionValue = Member(root, "version", "");
    const std::int64_t version = Integer(versionValue, "/version", 1, std::numeric_limits<std::int32_t>::max());
    if (version > ExportFormatVersion) {
        Fail("/version", "the file has format version " + std::to_string(version) +
                             ", written by a later Velmo; this one reads version " +
                             std::to_string(ExportFormatVersion));
    }
    RequireObject(root, "", {"format", "version", "settings", "contacts", "textRules", "blockedMessages"});
    ExportDocument document;
    document.settings = ReadSettings(Member(root, "settings", ""));
    const Json& contacts = RequireArray(Member(root, "contacts", ""), "/contacts");
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        document.contacts.push_back(ReadContact(contacts[i], "/contacts/" + std::to_string(i)));
    }
    const Json& rules = RequireArray(Member(root, "textRules", ""), "/textRules");
    for (std::size_t i = 0; i < rules.size(); ++i) {
        document.textRules.push_back(ReadTextRule(rules[i], "/textRules/" + std::to_string(i)));
    }
    const Json& messages = RequireArray(Member(root, "blockedMessages", ""), "/blockedMessages");
    for (std::size_t i = 0; i < messages.size(); ++i) {
        std::u16string text;
        document.blockedMessages.push_back(
            ReadBlockedMessage(messages[i], "/blockedMessages/" + std::to_string(i), text));
        document.blockedTexts.push_back(std::move(text));
    }
    return document;
}

// "line L, column C" of a byte offset (counted from 1, as nlohmann reports the byte after the fault).
std::string Place(std::string_view text, std::size_t byte) {
    const std::size_t end = std::min(byte > 0 ? byte - 1 : 0, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(end - lineStart + 1);
}

// The parser's events built into a tree, refusing as they come what this format never
// holds: deeper nesting, a member given twice, longer lists and texts. A hostile file is
// thus refused before it costs more than its own size, and no tree is deep enough to
// exhaust the stack of the library's recursive copy and destruction.
class BoundedReader {
public:
    BoundedReader(std::string_view text, Json& root) : text_(text), root_(root) {}

    bool null() { return Add(nullptr); }
    bool boolean(bool value) { return Add(value); }
    bool number_integer(Json::number_integer_t value) { return Add(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return Add(value); }
    bool number_float(Json::number_float_t value, const Json::string_t&) { return Add(value); }
    bool string(Json::string_t& value) {
        // Three UTF-8 bytes carry at most one UTF-16 unit; no field holds more than 1024 units,
        // but for a blocked message's whole text.
        if (value.size() > 3 * Longest()) Fail(Pointer(), "is longer than any text of this format");
        return Add(std::move(value));
    }
    bool binary(Json::binary_t&) { return Add(nullptr); }
    bool start_object(std::size_t) { return Open(Json::object()); }
    bool key(Json::string_t& name) {
        Frame& frame = frames_.back();
        if (std::find(frame.names.begin(), frame.names.end(), name) != frame.names.end()) {
            frame.names.push_back(name);  // so that the place named is this member's
            Fail(Pointer(), "is given twice");
        }
        if (frame.names.size() == kMostMembers) Fail(Pointer(), "has more members than any object of this format");
        frame.names.push_back(name);
        return true;
    }
    bool end_object() { return Close(); }
    bool start_array(std::size_t) { return Open(Json::array()); }
    bool end_array() { return Close(); }
    bool parse_error(std::size_t position, const std::string&, const Json::exception& e) {
        // The library's own words after its "[json.exception...] ...: " prefix.
        std::string words = e.what();
        if (auto colon = words.find(": "); words.rfind("[json.exception", 0) == 0 && colon != std::string::npos) {
            words = words.substr(colon + 2);
        } else if (auto bracket = words.find("] "); bracket != std::string::npos) {
            words = words.substr(bracket + 2);
        }
        Fail(Place(text_, position), words);
    }

private:
    static constexpr std::size_t kDeepest = 5;  // the file, a list, an entry, its numbers, a number as units
    static constexpr std::size_t kMostMembers = 11;
    static constexpr std::size_t kLongestText = 1024;
    static constexpr std::size_t kContactNumbers = 6;

    struct Frame {
        Json* value;
        std::size_t count = 0;  // entries of a list so far
        std::vector<std::string> names;
    };

    // The JSON pointer of the value about to be read: in a list the entry after those counted,
    // in the lists around it the entry being read.
    std::string Pointer() const {
        std::string at;
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            const Frame& frame = frames_[i];
            const std::size_t entry = i + 1 == frames_.size() ? frame.count : frame.count - 1;
            at += "/" + (frame.value->is_array() ? std::to_string(entry) : frame.names.back());
        }
        return at;
    }

    std::string_view Key(std::size_t depth) const {
        const Frame& frame = frames_[depth];
        return frame.value->is_object() ? std::string_view(frame.names.back()) : std::string_view();
    }

    // The most UTF-16 units the text being read may have.
    std::size_t Longest() const {
        const bool subject = frames_.size() >= 3 && Key(0) == "blockedMessages" && Key(2) == "subject";
        return subject ? kMaxWholeTextUnits : kLongestText;
    }

    // How many entries the list being read may hold, and what they are.
    std::pair<std::size_t, const char*> Bound() const {
        auto key = [this](std::size_t depth) { return Key(depth); };
        if (frames_.size() == 2 && key(0) == "textRules") return {MaxTextRules, "text rules"};
        if (frames_.size() == 2 && key(0) == "contacts") return {MaxExportEntries, "contacts"};
        if (frames_.size() == 2 && key(0) == "blockedMessages") return {MaxExportEntries, "blocked messages"};
        if (frames_.size() == 4 && key(0) == "contacts" && key(2) == "numbers") return {kContactNumbers, "numbers"};
        if (frames_.size() == 4 && key(0) == "contacts" && key(2) == "emails") return {3, "e-mail addresses"};
        return {Longest(), "entries"};
    }

    bool Add(Json value) {
        Slot() = std::move(value);
        return true;
    }

    // Where the next value goes; a list that would grow beyond its bound is refused first.
    Json& Slot() {
        if (frames_.empty()) return root_;
        Frame& frame = frames_.back();
        if (frame.value->is_object()) return (*frame.value)[frame.names.back()];
        if (const auto [most, what] = Bound(); frame.count == most) {
            std::string list = Pointer();
            list.resize(list.rfind('/'));
            Fail(list, "holds more than " + std::to_string(most) + " " + what);
        }
        ++frame.count;
        return frame.value->emplace_back();
    }

    bool Open(Json empty) {
        if (frames_.size() == kDeepest) Fail(Pointer(), "nests deeper than any list or object of this format");
        Json& slot = Slot();
        slot = std::move(empty);
        frames_.push_back(Frame{&slot, 0, {}});
        return true;
    }

    bool Close() {
        frames_.pop_back();
        return true;
    }

    std::string_view text_;
    Json& root_;
    std::vector<Frame> frames_;
};

}  // namespace

std::string SerializeExport(const ExportDocument& document) {
    const ExportedSettings& s = document.settings;
    Json settings;
    settings["AppPath"] = s.appPath ? TextJson(*s.appPath) : Json(nullptr);
    settings["ActiveState"] = s.activeState;
    settings["ItemsState"] = s.itemsState;
    settings["DefActionType"] = s.defActionType;
    settings["ContactFormat"] = s.contactFormat;
    settings["StartTime"] = TimeJson(s.startTime);
    settings["EndTime"] = TimeJson(s.endTime);
    settings["WeekDays"] = s.weekDays;
    settings["DeleteTimeType"] = s.deleteTimeType;
    settings["BlockedMsg"] = s.blockedMsg;
    settings["SilentMsg"] = s.silentMsg;

    Json contacts = Json::array();
    for (const auto& contact : document.contacts) {
        Json entry{{"key", contact.key}, {"action", contact.action}};
        if (contact.key != UnknownSenderKey && contact.key != UndefinedSenderKey) {
            entry["name"] = TextJson(contact.name);
            Json numbers = Json::array();
            for (const auto& number : contact.numbers) numbers.push_back(TextJson(number));
            entry["numbers"] = std::move(numbers);
            // Only a contact that its name and numbers cannot tell apart carries more.
            if (contact.name.empty() && contact.numbers.empty()) {
                Json emails = Json::array();
                for (const auto& email : contact.emails) emails.push_back(TextJson(email));
                entry["emails"] = std::move(emails);
                entry["shown"] = TextJson(contact.shown);
            }
        }
        contacts.push_back(std::move(entry));
    }
    Json rules = Json::array();
    for (const auto& rule : document.textRules) {
        rules.push_back(Json{{"action", rule.action},
                             {"regex", rule.regex},
                             {"in", ScopeText(rule.lookIn)},
                             {"pattern", TextJson(rule.pattern)}});
    }
    Json messages = Json::array();
    for (std::size_t i = 0; i < document.blockedMessages.size(); ++i) {
        const BlockedMessageRecord& record = document.blockedMessages[i];
        const std::u16string_view text =
            i < document.blockedTexts.size() ? document.blockedTexts[i] : RecordText(record.subject);
        messages.push_back(Json{{"senderAddress", TextJson(RecordText(record.senderAddress))},
                                {"subject", TextJson(text)},
                                {"senderName", TextJson(RecordText(record.senderName))},
                                {"deliveryTime", device::Join(record.deliveryTime)}});
    }
    Json root;
    root["format"] = ExportFormatName;
    root["version"] = ExportFormatVersion;
    root["settings"] = std::move(settings);
    root["contacts"] = std::move(contacts);
    root["textRules"] = std::move(rules);
    root["blockedMessages"] = std::move(messages);
    return root.dump(2) + "\n";
}

bool ParseExport(std::string_view text, ExportDocument& document, std::string& error) {
    Json root;
    try {
        BoundedReader reader(text, root);
        Json::sax_parse(text.begin(), text.end(), &reader);
        document = ReadDocument(root);
        return true;
    } catch (const Fault& fault) {
        error = (fault.at.empty() ? std::string("the file") : fault.at) + ": " + fault.what;
        return false;
    } catch (const Json::exception& e) {
        error = std::string("the file: ") + e.what();
        return false;
    }
}

}  // namespace velmo
