#include "common/PhoneDigits.h"

#include <algorithm>
#include <array>

namespace velmo {

namespace {

// Country codes are prefix-free: two-digit codes and the two-digit zones of the three-digit
// codes never share a start, and "1" and "7" stand alone.
constexpr std::array<std::u16string_view, 44> TwoDigitCountryCodes = {
    u"20", u"27", u"30", u"31", u"32", u"33", u"34", u"36", u"39", u"40", u"41", u"43", u"44", u"45", u"46",
    u"47", u"48", u"49", u"51", u"52", u"53", u"54", u"55", u"56", u"57", u"58", u"60", u"61", u"62", u"63",
    u"64", u"65", u"66", u"81", u"82", u"84", u"86", u"90", u"91", u"92", u"93", u"94", u"95", u"98"};
constexpr std::array<std::u16string_view, 23> ThreeDigitCountryZones = {
    u"21", u"22", u"23", u"24", u"25", u"26", u"29", u"35", u"37", u"38", u"42", u"50",
    u"59", u"67", u"68", u"69", u"80", u"85", u"87", u"88", u"96", u"97", u"99"};

template <std::size_t N>
bool Contains(const std::array<std::u16string_view, N>& list, std::u16string_view digits) {
    return std::find(list.begin(), list.end(), digits) != list.end();
}

bool IsCountryCode(std::u16string_view digits) {
    switch (digits.size()) {
        case 1: return digits == u"1" || digits == u"7";
        case 2: return Contains(TwoDigitCountryCodes, digits);
        case 3: return Contains(ThreeDigitCountryZones, digits.substr(0, 2));
        default: return false;
    }
}

// The country code in digits that precede a national number in international form, after the
// international prefix that was dialled, if any; empty when they are not such a prefix.
std::u16string_view CountryCodeOf(std::u16string_view digits) {
    for (std::u16string_view exit : {u"00", u"011"}) {
        if (digits.starts_with(exit) && IsCountryCode(digits.substr(exit.size()))) return digits.substr(exit.size());
    }
    return IsCountryCode(digits) ? digits : std::u16string_view();
}

// A national trunk prefix; the two-digit ones belong to one country each, "0" to any.
struct TrunkPrefix {
    std::u16string_view digits;
    std::u16string_view country;  // empty: any country
};
constexpr TrunkPrefix TrunkPrefixes[] = {{u"0", {}}, {u"06", u"36"}, {u"80", u"375"}};

// Every trunk prefix starts with one of these, which rules most numbers out at once: the
// handler compares every number of the address book.
inline bool MayStartWithTrunkPrefix(std::u16string_view digits) { return digits[0] == u'0' || digits[0] == u'8'; }

// National is a trunk prefix and a national number of at least MinMatchDigits digits that ends
// international, where a country code (for that trunk prefix) precedes it.
bool IsNationalFormOf(std::u16string_view national, std::u16string_view international) {
    for (const TrunkPrefix& trunk : TrunkPrefixes) {
        if (!national.starts_with(trunk.digits)) continue;
        std::u16string_view number = national.substr(trunk.digits.size());
        if (number.size() < MinMatchDigits || number.size() >= international.size() ||
            !international.ends_with(number)) {
            continue;
        }
        std::u16string_view country = CountryCodeOf(international.substr(0, international.size() - number.size()));
        if (!country.empty() && (trunk.country.empty() || trunk.country == country)) return true;
    }
    return false;
}

}  // namespace

std::u16string KeepDigits(std::u16string_view text) {
    std::u16string digits;
    KeepDigits(text, digits);
    return digits;
}

void KeepDigits(std::u16string_view text, std::u16string& digits) {
    // Every unit is written and only digits advance, which keeps the loop free of branches:
    // the handler runs it on every number of the address book.
    digits.resize(text.size());
    std::size_t kept = 0;
    for (char16_t c : text) {
        digits[kept] = c;
        kept += c >= u'0' && c <= u'9' ? 1 : 0;
    }
    digits.resize(kept);
}

std::u16string KeepDigits(const char16_t* text) {
    return text != nullptr ? KeepDigits(std::u16string_view(text)) : std::u16string();
}

bool TrailingDigitsMatch(std::u16string_view a, std::u16string_view b) {
    if (a.empty() || b.empty()) return false;
    // When fewer than 7 digits are in either number (a short code, an emergency number, the one
    // digit of a named sender), it is a match only when both digit strings are equal.
    if (std::min(a.size(), b.size()) < MinMatchDigits) return a == b;
    // Both rules below need the last 7 digits equal, which most numbers of an address book are not.
    if (a.substr(a.size() - MinMatchDigits) != b.substr(b.size() - MinMatchDigits)) return false;
    // When the last 10 digits are equal, or the shorter number is the end of the longer one, it is a match.
    std::size_t n = std::min({a.size(), b.size(), MatchDigits});
    if (a.substr(a.size() - n) == b.substr(b.size() - n)) return true;
    // When at least 7 trailing digits agree and what is left over is a national trunk prefix on one
    // side and a country code on the other, it is the same number dialled nationally and internationally.
    if ((MayStartWithTrunkPrefix(a) && IsNationalFormOf(a, b)) ||
        (MayStartWithTrunkPrefix(b) && IsNationalFormOf(b, a))) {
        return true;
    }
    // Everything else is not a match.
    return false;
}

bool NumberMatches(std::u16string_view senderDigits, std::u16string_view number, std::u16string& digits) {
    if (senderDigits.size() >= MinMatchDigits) {
        // A number whose last MinMatchDigits digits differ from the sender's, or that has fewer
        // digits, cannot match a sender of MinMatchDigits digits or more.
        std::size_t compared = 0;
        for (auto unit = number.rbegin(); unit != number.rend() && compared < MinMatchDigits; ++unit) {
            if (*unit < u'0' || *unit > u'9') continue;
            if (*unit != senderDigits[senderDigits.size() - 1 - compared]) return false;
            ++compared;
        }
        if (compared < MinMatchDigits) return false;
    }
    KeepDigits(number, digits);
    return TrailingDigitsMatch(senderDigits, digits);
}

}  // namespace velmo
