#include "device/VCard.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <stdexcept>
#include <unordered_set>

#include "device/Text.h"

namespace velmo::device {

namespace {

// Why reading stopped; becomes the VCardError of the file.
struct Failure {
    std::size_t line;
    std::string what;
};

[[noreturn]] void Fail(std::size_t line, const std::string& what) { throw Failure{line, what}; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

template <class Char>
std::basic_string_view<Char> Trim(std::basic_string_view<Char> text) {
    auto blank = [](Char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}
std::string_view Trim(std::string_view text) { return Trim<char>(text); }

// A short, printable piece of a line for a message; the file may well be binary.
std::string Excerpt(std::string_view text) {
    constexpr std::size_t Most = 40;
    std::string out;
    for (char c : text.substr(0, Most)) out.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    if (text.size() > Most) out += "...";
    return out;
}

// The lines of a text, one at a time, so that a file of many short lines costs no more
// memory than its bytes. Lines end with LF after any number of CRs (some exporters write
// CR CR LF), or with a CR alone.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) { Next(); }
    bool AtEnd() const { return atEnd_; }
    std::string_view Current() const { return current_; }
    // The 1-based number of the current line; at the end, the number of lines read.
    std::size_t Number() const { return number_; }

    void Next() {
        if (start_ >= text_.size()) {
            atEnd_ = true;
            return;
        }
        std::size_t i = start_;
        while (i < text_.size() && text_[i] != '\r' && text_[i] != '\n') ++i;
        current_ = text_.substr(start_, i - start_);
        ++number_;
        if (i == text_.size()) {
            start_ = i;
            return;
        }
        std::size_t end = i;
        while (end < text_.size() && text_[end] == '\r') ++end;
        if (end < text_.size() && text_[end] == '\n') i = end;
        start_ = i + 1;
    }

private:
    std::string_view text_;
    std::string_view current_;
    std::size_t start_ = 0;
    std::size_t number_ = 0;
    bool atEnd_ = false;
};

// UTF-8 with any byte-order mark removed, as a view of bytes; UTF-16 (known by its mark)
// converted into converted.
std::string_view Utf8Text(std::string_view bytes, std::string& converted) {
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF")) return bytes.substr(3);
    bool little = starts("\xFF\xFE");
    if (!little && !starts("\xFE\xFF")) return bytes;
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        auto first = static_cast<unsigned char>(bytes[i]);
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(little ? first | (second << 8) : (first << 8) | second));
    }
    converted = ToUtf8(units);
    return converted;
}

struct Parameter {
    std::string name;  // upper case; empty for a bare 2.1 type or encoding
    std::vector<std::string> values;
};

struct Property {
    std::string name;  // upper case, without its group
    std::vector<Parameter> parameters;
    std::string value;
    std::size_t line;
};

// [group.]NAME *(;PARAM[=VALUE*(,VALUE)]) : value, where a value may be in double quotes.
Property ParseProperty(std::string_view text, std::size_t line) {
    std::size_t pos = text.find_first_of(";:");
    if (pos == std::string_view::npos)
        Fail(line, "expected a property \"NAME:value\", found \"" + Excerpt(text) + "\"");
    std::string_view name = Trim(text.substr(0, pos));
    if (auto dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    if (name.empty()) Fail(line, "a property without a name: \"" + Excerpt(text) + "\"");
    Property property{{}, {}, {}, line};
    for (char c : name) property.name.push_back(Upper(c));

    auto unclosed = [&] { Fail(line, "the parameters of " + property.name + " are not followed by ':'"); };
    while (text[pos] == ';') {
        std::size_t keyEnd = text.find_first_of("=;:", ++pos);
        if (keyEnd == std::string_view::npos) unclosed();
        Parameter parameter;
        std::string_view key = Trim(text.substr(pos, keyEnd - pos));
        pos = keyEnd;
        if (text[pos] != '=') {
            parameter.values.emplace_back(key);
        } else {
            for (char c : key) parameter.name.push_back(Upper(c));
            do {
                ++pos;
                if (pos < text.size() && text[pos] == '"') {
                    std::size_t close = text.find('"', pos + 1);
                    if (close == std::string_view::npos) {
                        Fail(line, "a quoted value of " + property.name + " has no closing quote");
                    }
                    parameter.values.emplace_back(text.substr(pos + 1, close - pos - 1));
                    pos = close + 1;
                } else {
                    std::size_t valueEnd = text.find_first_of(",;:", pos);
                    if (valueEnd == std::string_view::npos) unclosed();
                    parameter.values.emplace_back(text.substr(pos, valueEnd - pos));
                    pos = valueEnd;
                }
                if (pos >= text.size()) unclosed();
            } while (text[pos] == ',');
        }
        property.parameters.push_back(std::move(parameter));
    }
    if (text[pos] != ':') unclosed();
    property.value = text.substr(pos + 1);
    return property;
}

std::string_view EncodingOf(const Property& property) {
    for (const auto& parameter : property.parameters) {
        if (parameter.name == "ENCODING" && !parameter.values.empty()) return parameter.values.front();
        if (!parameter.name.empty()) continue;
        for (const auto& value : parameter.values) {
            if (IEquals(value, "QUOTED-PRINTABLE") || IEquals(value, "BASE64") || IEquals(value, "8BIT") ||
                IEquals(value, "7BIT")) {
                return value;
            }
        }
    }
    return {};
}

std::string_view ParameterValue(const Property& property, std::string_view name) {
    for (const auto& parameter : property.parameters) {
        if (parameter.name == name && !parameter.values.empty()) return parameter.values.front();
    }
    return {};
}

// TYPE= values (lists split, quoted or not) and bare 2.1 types, in lower case.
std::vector<std::string> TypesOf(const Property& property) {
    std::vector<std::string> types;
    auto add = [&](std::string_view list) {
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = std::min(list.find(',', start), list.size());
            std::string type;
            for (char c : Trim(list.substr(start, end - start))) type.push_back(Lower(c));
            if (!type.empty()) types.push_back(std::move(type));
            start = end + 1;
        }
    };
    for (const auto& parameter : property.parameters) {
        if (parameter.name == "TYPE" || parameter.name.empty()) {
            for (const auto& value : parameter.values) add(value);
        }
    }
    return types;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "=XX" becomes the byte XX; an '=' not followed by two hexadecimal digits stays as it is.
std::string DecodeQuotedPrintable(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

// Windows-1252 differs from ISO-8859-1 only in 0x80..0x9F.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string DecodeCharset(const std::string& bytes, const Property& property) {
    std::string_view charset = ParameterValue(property, "CHARSET");
    if (charset.empty() || IEquals(charset, "UTF-8") || IEquals(charset, "US-ASCII")) return ToUtf16(bytes);
    bool windows = IEquals(charset, "WINDOWS-1252");
    if (!windows && !IEquals(charset, "ISO-8859-1")) {
        Fail(property.line, "the character set \"" + Excerpt(charset) + "\" of " + property.name +
                                " is not supported (UTF-8, US-ASCII, ISO-8859-1 and WINDOWS-1252 are)");
    }
    std::u16string text;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        text.push_back(windows && byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : char16_t{byte});
    }
    return text;
}

std::u16string DecodeValue(const Property& property) {
    std::string_view encoding = EncodingOf(property);
    if (encoding.empty() || IEquals(encoding, "8BIT") || IEquals(encoding, "7BIT")) {
        return DecodeCharset(property.value, property);
    }
    if (IEquals(encoding, "QUOTED-PRINTABLE")) return DecodeCharset(DecodeQuotedPrintable(property.value), property);
    Fail(property.line, property.name + " is encoded as \"" + Excerpt(encoding) + "\", which a text field cannot be");
}

enum class Escapes { Version21, Full };

// Splits at unescaped ';' when split is set, and resolves the escapes: in 2.1 only "\;",
// in 3.0 and 4.0 also "\\", "\," and "\n". Each part is trimmed of blanks.
std::vector<std::u16string> Unescape(std::u16string_view text, Escapes escapes, bool split) {
    std::vector<std::u16string> parts(1);
    bool full = escapes == Escapes::Full;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            char16_t next = text[i + 1];
            if (next == u';' || (full && (next == u',' || next == u'\\'))) {
                parts.back() += next;
                ++i;
                continue;
            }
            if (full && (next == u'n' || next == u'N')) {
                parts.back() += u'\n';
                ++i;
                continue;
            }
        }
        if (c == u';' && split) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    for (auto& part : parts) part = std::u16string(Trim<char16_t>(part));
    return parts;
}

bool IsTelUri(std::u16string_view text) {
    constexpr std::u16string_view scheme = u"tel:";
    if (text.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? static_cast<char16_t>(text[i] - u'A' + u'a') : text[i];
        if (c != scheme[i]) return false;
    }
    return true;
}

enum class TelKind { BusinessFax, HomeFax, Pager, Mobile, Car, Radio, Work, Home, Voice };

TelKind KindOf(const std::vector<std::string>& types) {
    auto has = [&](std::string_view type) {
        for (const auto& t : types) {
            if (t == type) return true;
        }
        return false;
    };
    if (has("fax")) return has("home") && !has("work") ? TelKind::HomeFax : TelKind::BusinessFax;
    if (has("pager")) return TelKind::Pager;
    if (has("cell") || has("mobile") || has("iphone")) return TelKind::Mobile;
    if (has("car")) return TelKind::Car;
    if (has("radio")) return TelKind::Radio;
    if (has("work")) return TelKind::Work;
    if (has("home")) return TelKind::Home;
    return TelKind::Voice;
}

using F = ContactField;

std::span<const ContactField> OwnFields(TelKind kind) {
    static constexpr F businessFax[] = {F::BusinessFaxNumber, F::HomeFaxNumber};
    static constexpr F homeFax[] = {F::HomeFaxNumber, F::BusinessFaxNumber};
    static constexpr F pager[] = {F::PagerNumber};
    static constexpr F mobile[] = {F::MobileTelephoneNumber};
    static constexpr F car[] = {F::CarTelephoneNumber};
    static constexpr F radio[] = {F::RadioTelephoneNumber};
    static constexpr F work[] = {F::BusinessTelephoneNumber, F::Business2TelephoneNumber};
    static constexpr F home[] = {F::HomeTelephoneNumber, F::Home2TelephoneNumber};
    switch (kind) {
        case TelKind::BusinessFax: return businessFax;
        case TelKind::HomeFax: return homeFax;
        case TelKind::Pager: return pager;
        case TelKind::Mobile: return mobile;
        case TelKind::Car: return car;
        case TelKind::Radio: return radio;
        case TelKind::Work: return work;
        case TelKind::Home: return home;
        case TelKind::Voice: break;
    }
    return {};
}

constexpr F VoiceFields[] = {F::MobileTelephoneNumber, F::HomeTelephoneNumber, F::BusinessTelephoneNumber,
                             F::Home2TelephoneNumber, F::Business2TelephoneNumber};

constexpr F EmailFields[] = {F::Email1Address, F::Email2Address, F::Email3Address};

// The properties of one card, gathered until its END:VCARD.
class CardReader {
public:
    explicit CardReader(std::size_t beginLine) : beginLine_(beginLine) {}

    void Take(const Property& property) {
        const std::string& name = property.name;
        if (name == "VERSION") {
            std::string_view version = Trim(property.value);
            if (version == "2.1") {
                escapes_ = Escapes::Version21;
            } else if (version == "3.0" || version == "4.0") {
                escapes_ = Escapes::Full;
            } else {
                Fail(property.line,
                     "vCard version \"" + Excerpt(version) + "\" is not supported (2.1, 3.0 and 4.0 are)");
            }
        } else if (name == "N") {
            auto parts = Unescape(DecodeValue(property), escapes_, true);
            SetOnce(F::LastName, parts[0]);
            if (parts.size() > 1) SetOnce(F::FirstName, parts[1]);
        } else if (name == "FN") {
            SetOnce(F::FileAs, Unescape(DecodeValue(property), escapes_, false)[0]);
        } else if (name == "ORG") {
            SetOnce(F::CompanyName, Unescape(DecodeValue(property), escapes_, true)[0]);
        } else if (name == "TEL") {
            auto number = Number(property);
            if (!number.empty()) numbers_.push_back({std::move(number), KindOf(TypesOf(property)), property.line});
        } else if (name == "EMAIL") {
            auto address = Unescape(DecodeValue(property), escapes_, false)[0];
            if (address.empty()) return;
            if (emails_ < std::size(EmailFields)) {
                entry_[EmailFields[emails_++]] = std::move(address);
            } else {
                notes_.push_back(
                    Note(property.line, "only three e-mail addresses are kept; left out " + ToUtf8(address)));
            }
        }
    }

    // The contact, or nothing for a card without any field the address book keeps.
    std::optional<ContactEntry> Finish(std::vector<std::string>& notes) {
        std::vector<const Tel*> unfiled;
        for (const auto& tel : numbers_) {
            if (!File(tel.number, OwnFields(tel.kind))) unfiled.push_back(&tel);
        }
        for (const Tel* tel : unfiled) {
            bool voice =
                tel->kind != TelKind::BusinessFax && tel->kind != TelKind::HomeFax && tel->kind != TelKind::Pager;
            if (!voice || !File(tel->number, VoiceFields)) {
                notes_.push_back(Note(tel->line, "no free telephone field for " + ToUtf8(tel->number) + "; left out"));
            }
        }
        notes.insert(notes.end(), notes_.begin(), notes_.end());
        if (entry_.Empty()) {
            notes.push_back(
                Note(beginLine_, "the card has no name, company, telephone number or e-mail address; skipped"));
            return std::nullopt;
        }
        return std::move(entry_);
    }

private:
    struct Tel {
        std::u16string number;
        TelKind kind;
        std::size_t line;
    };

    static std::string Note(std::size_t line, const std::string& text) {
        return "line " + std::to_string(line) + ": " + text;
    }

    void SetOnce(ContactField field, std::u16string text) {
        if (entry_[field].empty()) entry_[field] = std::move(text);
    }

    bool File(const std::u16string& number, std::span<const ContactField> fields) {
        for (auto field : fields) {
            if (entry_[field].empty()) {
                entry_[field] = number;
                return true;
            }
        }
        return false;
    }

    // A tel: URI keeps only its number: parameters such as ";ext=102" are not dialled digits.
    std::u16string Number(const Property& property) const {
        std::u16string text = DecodeValue(property);
        bool scheme = IsTelUri(text);
        if (!scheme && !IEquals(ParameterValue(property, "VALUE"), "uri")) return Unescape(text, escapes_, false)[0];
        std::u16string_view number = std::u16string_view(text).substr(scheme ? 4 : 0);
        return std::u16string(Trim<char16_t>(number.substr(0, number.find(u';'))));
    }

    std::size_t beginLine_;
    Escapes escapes_ = Escapes::Full;
    ContactEntry entry_;
    std::vector<Tel> numbers_;
    std::size_t emails_ = 0;
    std::vector<std::string> notes_;
};

bool IsContinuation(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

bool IsQuotedPrintable(const Property& property) { return IEquals(EncodingOf(property), "QUOTED-PRINTABLE"); }

bool IsVCardMarker(const Property& property, std::string_view name) {
    return property.name == name && IEquals(Trim(property.value), "VCARD");
}

void Parse(std::string_view text, VCardContents& out) {
    Lines lines(text);
    std::optional<CardReader> card;
    std::size_t depth = 0;  // above 1 inside a card nested in another one (2.1 AGENT), which is skipped
    std::size_t cardLine = 0;
    while (!lines.AtEnd()) {
        std::size_t line = lines.Number();
        std::string logical(lines.Current());
        lines.Next();
        for (; !lines.AtEnd() && IsContinuation(lines.Current()); lines.Next()) {
            logical.append(lines.Current().substr(1));
        }
        if (Trim(logical).empty()) continue;
        if (depth == 0) {
            if (!IEquals(Trim(logical), "BEGIN:VCARD")) {
                throw Failure{line, std::string(card ? "expected BEGIN:VCARD" : "not a vCard: expected BEGIN:VCARD") +
                                        ", found \"" + Excerpt(logical) + "\""};
            }
            card.emplace(line);
            cardLine = line;
            depth = 1;
            continue;
        }
        Property property = ParseProperty(logical, line);
        // A quoted-printable value goes on past a line that ends in '=' (a soft line break).
        std::string& value = property.value;
        while (IsQuotedPrintable(property) && !lines.AtEnd()) {
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
            if (value.empty() || value.back() != '=') break;
            value.pop_back();
            value.append(lines.Current());
            lines.Next();
        }
        if (IsVCardMarker(property, "BEGIN")) {
            ++depth;
        } else if (IsVCardMarker(property, "END")) {
            if (--depth == 0) {
                if (auto contact = card->Finish(out.notes)) out.contacts.push_back(std::move(*contact));
            }
        } else if (depth == 1) {
            card->Take(property);
        }
    }
    if (depth > 0) {
        throw Failure{lines.Number(), "the card begun on line " + std::to_string(cardLine) + " has no END:VCARD"};
    }
    if (!card) throw Failure{1, "not a vCard: the file is empty"};
}

}  // namespace

VCardContents ParseVCards(std::string_view bytes) {
    VCardContents contents;
    try {
        std::string converted;
        Parse(Utf8Text(bytes, converted), contents);
    } catch (const Failure& failure) {
        contents = VCardContents{};
        contents.error = VCardError{failure.line, "line " + std::to_string(failure.line) + ": " + failure.what};
    }
    return contents;
}

namespace {

// A contact's name and number fields, one after another, each ended by a zero unit (which no
// field holds), as two equal contacts give the same text.
std::u16string NameAndNumbers(const auto& fieldOf) {
    std::u16string text;
    for (std::size_t i = 0; i < ContactFieldCount; ++i) {
        auto field = static_cast<ContactField>(i);
        if (field >= ContactField::Email1Address) continue;
        text += fieldOf(field);
        text += u'\0';
    }
    return text;
}

// The cards that the book does not hold yet; how many it held goes to alreadyThere.
std::vector<ContactEntry> NewCards(const ContactStore& store, std::vector<ContactEntry> cards,
                                   std::size_t& alreadyThere) {
    ContactSnapshot book = store.Load();
    std::unordered_set<std::u16string> held;
    for (std::size_t row = 0; row < book.Size(); ++row) {
        held.insert(NameAndNumbers([&](ContactField field) { return book.Field(row, field); }));
    }
    auto there = std::remove_if(cards.begin(), cards.end(), [&](const ContactEntry& card) {
        return held.contains(NameAndNumbers([&](ContactField field) { return std::u16string_view(card[field]); }));
    });
    alreadyThere = static_cast<std::size_t>(cards.end() - there);
    cards.erase(there, cards.end());
    return cards;
}

}  // namespace

VCardImport ImportVCardFile(ContactStore& store, const std::filesystem::path& file, DuplicateCards duplicates) {
    auto tooLarge = [&file] {
        return std::runtime_error(file.string() + ": larger than " + std::to_string(MaxVCardFileBytes >> 20) +
                                  " MB, which no address book export comes near; nothing was imported");
    };
    std::error_code unknown;
    auto size = std::filesystem::file_size(file, unknown);
    if (!unknown && size > MaxVCardFileBytes) throw tooLarge();
    if (std::error_code ignored; std::filesystem::is_directory(file, ignored))
        throw std::runtime_error(file.string() + ": is a directory");
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(file.string() + ": cannot be opened: " + std::strerror(errno));
    std::string bytes;
    if (!unknown) bytes.reserve(size);
    // Read in pieces, so that a pipe or a file that grows cannot pass the limit either.
    std::vector<char> piece(1 << 16);
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
        bytes.append(piece.data(), static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > MaxVCardFileBytes) throw tooLarge();
    }
    if (in.bad()) throw std::runtime_error(file.string() + ": cannot be read: " + std::strerror(errno));
    auto contents = ParseVCards(bytes);
    if (contents.error) throw std::runtime_error(file.string() + ": " + contents.error->message);
    std::size_t alreadyThere = 0;
    if (duplicates == DuplicateCards::Skip)
        contents.contacts = NewCards(store, std::move(contents.contacts), alreadyThere);
    return {store.AddAll(contents.contacts), std::move(contents.notes), alreadyThere};
}

}  // namespace velmo::device
