#include "common/SpamFeatures.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/OneTimeCode.h"
#include "common/UnicodeFolding.h"

namespace velmo {

namespace {

constexpr char32_t kDigitClass = U'0';
constexpr std::uint32_t kGramSeed = 0x9E3779B9u;
constexpr std::uint32_t kWordSeed = 0x85EBCA6Bu;
constexpr std::uint32_t kPairSeed = 0xC2B2AE35u;
constexpr std::uint32_t kMarkSeed = 0x27D4EB2Fu;

bool IsSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Punctuation and symbols that end a word; other scripts' marks stay inside words, where the
// character n-grams see them anyway.
bool EndsWord(char32_t c) {
    if (c == U' ') return true;
    if (c < 0x80) return !((c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9'));
    return (c >= 0xA1 && c <= 0xBF && c != 0xAA && c != 0xB5 && c != 0xBA) || c == 0xD7 || c == 0xF7 ||
           (c >= 0x2010 && c <= 0x205E) || (c >= 0x3001 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF0F) ||
           (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65);
}

bool IsAsciiDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsAsciiLetter(char32_t c) { return c >= U'a' && c <= U'z'; }

std::uint32_t Step(std::uint32_t hash, char32_t c) { return (hash ^ static_cast<std::uint32_t>(c)) * 16777619u; }

// The bits of a hash mixed so that its low bits, which pick the bucket, depend on all of it.
std::uint32_t Finish(std::uint32_t hash) {
    hash ^= hash >> 16;
    hash *= 0x85EBCA6Bu;
    hash ^= hash >> 13;
    hash *= 0xC2B2AE35u;
    hash ^= hash >> 16;
    return hash;
}

std::u16string ToUtf16(std::u32string_view text) {
    std::u16string out;
    for (char32_t c : text) {
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// A run of the normalized text as a person reads it, its digit class shown as "#".
std::u16string Quoted(std::u32string_view text) {
    std::u16string shown = ToUtf16(text);
    std::replace(shown.begin(), shown.end(), static_cast<char16_t>(kDigitClass), u'#');
    return u"\"" + shown + u"\"";
}

std::u32string Ascii(std::string_view text) { return std::u32string(text.begin(), text.end()); }

// The folded text with its digits kept (lures are told apart by which digits and where), white
// space as single spaces, with one space before and after.
std::u32string FoldSpamText(std::u16string_view text) {
    std::u32string folded;
    folded.reserve(text.size() + 2);
    folded.push_back(U' ');
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (IsSpace(c)) {
            if (folded.back() != U' ') folded.push_back(U' ');
            continue;
        }
        folded.push_back(SimpleCaseFold(c));
    }
    if (folded.back() != U' ') folded.push_back(U' ');
    return folded;
}

bool OneOf(std::u32string_view word, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return std::equal(word.begin(), word.end(), w.begin(), w.end()); });
}

bool Contains(std::u32string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end()) != text.end();
}

// The endings a text's link is written with where it has no scheme and no path.
bool CommonTopLabel(std::u32string_view label) {
    return OneOf(label, {"com", "net",  "org",    "info", "biz",  "co",  "uk",   "io",   "me",  "ly",  "us",  "in",
                         "cn",  "ru",   "de",     "fr",   "es",   "it",  "nl",   "no",   "se",  "dk",  "eu",  "top",
                         "xyz", "site", "online", "club", "shop", "app", "link", "live", "vip", "icu", "cc",  "tk",
                         "ml",  "ga",   "cf",     "gq",   "pw",   "ws",  "mobi", "gd",   "gl",  "at",  "be",  "ch",
                         "au",  "ca",   "br",     "mx",   "jp",   "kr",  "tv",   "vc",   "lv",  "su",  "pro", "win",
                         "bid", "buzz", "cyou",   "to",   "ai",   "ir",  "id"});
}

bool KnownShortener(std::u32string_view host) {
    return OneOf(host, {"bit.ly",  "bitly.com", "tinyurl.com", "t.co",     "goo.gl",       "ow.ly",    "is.gd",
                        "buff.ly", "rb.gy",     "cutt.ly",     "tiny.cc",  "shorturl.at",  "bit.do",   "rebrand.ly",
                        "t.ly",    "v.gd",      "s.id",        "lnkd.in",  "bl.ink",       "short.io", "tiny.one",
                        "urlz.fr", "soo.gd",    "x.co",        "qr.ae",    "shorturl.com", "clck.ru",  "u.to",
                        "lihi.cc", "lihi1.com", "reurl.cc",    "linktr.ee"});
}

// Names of the brands and words that lures borrow for a host of their own.
constexpr std::array<std::string_view, 38> kBrandWords = {
    "amazon",    "apple",     "icloud",   "paypal",   "netflix",    "usps",      "fedex",   "dhl",
    "royalmail", "hmrc",      "irs",      "chase",    "wellsfargo", "citi",      "hsbc",    "barclays",
    "santander", "lloyds",    "natwest",  "coinbase", "binance",    "microsoft", "outlook", "google",
    "facebook",  "instagram", "whatsapp", "ebay",     "walmart",    "evri",      "hermes",  "parcel",
    "ezpass",    "secure",    "verify",   "login",    "account",    "bank"};

// A run of text between two spaces with the punctuation around it taken off.
std::u32string_view Trimmed(std::u32string_view token) {
    while (!token.empty() && std::u32string_view(U"([{<\"'*").find(token.front()) != std::u32string_view::npos)
        token.remove_prefix(1);
    while (!token.empty() && std::u32string_view(U".,;:!?)]}>\"'*").find(token.back()) != std::u32string_view::npos)
        token.remove_suffix(1);
    return token;
}

bool IsHostCharacter(char32_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == U'-' || c >= 0x80; }

bool AllDigits(std::u32string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsAsciiDigit);
}

// Whether name (a host's own label, letters only) is a word of text outside [skipBegin,
// skipEnd), or two neighbouring words written together: a notice links to its sender's own
// host ("Mint Mobile" and mintmobile.com), a lure to a host that borrows the name.
bool NamedInText(std::u32string_view text, std::size_t skipBegin, std::size_t skipEnd, std::u32string_view name) {
    if (name.size() < 2 || !std::all_of(name.begin(), name.end(), IsAsciiLetter)) return false;
    std::u32string_view previous;
    for (std::size_t start = 1; start < text.size();) {
        const std::size_t end = std::min(text.find(U' ', start), text.size());
        const std::u32string_view word = Trimmed(text.substr(start, end - start));
        const bool skipped = start >= skipBegin && start < skipEnd;
        start = end + 1;
        if (skipped || word.empty()) {
            previous = {};
            continue;
        }
        if (word == name) return true;
        if (!previous.empty() && previous.size() < name.size() && name.substr(0, previous.size()) == previous &&
            name.substr(previous.size()) == word)
            return true;
        previous = word;
    }
    return false;
}

// The marks of today's lures, each hashed from a key and named on demand.
template <typename Emit>
void MarkFeatures(std::u16string_view original, const std::u32string& folded, std::uint32_t kinds, Emit&& emit) {
    auto mark = [&](std::u32string_view key, auto&& name) {
        std::uint32_t hash = 2166136261u ^ kMarkSeed;
        for (char32_t c : key) hash = Step(hash, c);
        emit(Finish(hash), name, true);
    };
    auto fixed = [&](std::string_view key, const char16_t* name) {
        mark(Ascii(key), [name] { return std::u16string(name); });
    };
    std::vector<std::pair<std::size_t, std::size_t>> links;  // the spans the numbers must not read
    const std::u32string_view text(folded);
    for (std::size_t start = 1; start < text.size();) {
        const std::size_t end = text.find(U' ', start);
        const std::u32string_view token = Trimmed(text.substr(start, end - start));
        const std::size_t tokenStart = start;
        start = end + 1;
        if (token.empty()) continue;
        if (kinds & SpamLinkFeatures) {
            std::u32string_view rest = token;
            bool sure = false;
            for (std::u32string_view scheme : {U"https://", U"http://"}) {
                if (rest.substr(0, scheme.size()) == scheme) {
                    rest.remove_prefix(scheme.size());
                    sure = true;
                    if (scheme.size() == 7) fixed("http", u"an http:// link");
                }
            }
            if (rest.substr(0, 4) == U"www.") {
                rest.remove_prefix(4);
                sure = true;
            }
            std::size_t hostEnd = 0;
            while (hostEnd < rest.size() && (IsHostCharacter(rest[hostEnd]) || rest[hostEnd] == U'.')) ++hostEnd;
            const std::u32string_view host = Trimmed(rest.substr(0, hostEnd));
            const bool path = hostEnd + 1 < rest.size() && rest[hostEnd] != U'@';
            const std::size_t lastDot = host.rfind(U'.');
            if (hostEnd < rest.size() && rest[hostEnd] == U'@') {
                fixed("mail", u"an e-mail address");
                links.emplace_back(tokenStart, end);
                continue;
            }
            if (lastDot != std::u32string_view::npos && lastDot > 0 && host.find(U"..") == std::u32string_view::npos) {
                const std::u32string_view top = host.substr(lastDot + 1);
                bool ip = std::count(host.begin(), host.end(), U'.') == 3;
                for (std::size_t from = 0; ip && from <= host.size();) {
                    const std::size_t dot = std::min(host.find(U'.', from), host.size());
                    ip = AllDigits(host.substr(from, dot - from)) && dot - from <= 3;
                    from = dot + 1;
                }
                const bool letters = top.size() >= 2 && std::all_of(top.begin(), top.end(), IsAsciiLetter);
                if (ip || (letters && (sure || path || CommonTopLabel(top)))) {
                    links.emplace_back(tokenStart, end);
                    fixed("link", u"a link");
                    if (ip) {
                        fixed("ip", u"link to a bare IP address");
                        continue;
                    }
                    mark(U"host:" + std::u32string(host), [host] { return u"link to " + ToUtf16(host); });
                    mark(U"top:" + std::u32string(top), [top] { return u"link to a ." + ToUtf16(top) + u" host"; });
                    const std::u32string_view inner = host.substr(0, lastDot);
                    const std::u32string_view own = inner.substr(inner.rfind(U'.') + 1);
                    if (KnownShortener(host)) fixed("shortener", u"link through a shortener");
                    if (std::any_of(inner.begin(), inner.end(), IsAsciiDigit))
                        fixed("hostdigits", u"digits in a link's host");
                    if (inner.find(U'-') != std::u32string_view::npos) fixed("hyphen", u"a hyphen in a link's host");
                    for (std::string_view brand : kBrandWords) {
                        if (Contains(inner, brand) && !std::equal(own.begin(), own.end(), brand.begin(), brand.end())) {
                            fixed("brand", u"a brand word inside a link's host");
                            break;
                        }
                    }
                    if (path && inner.size() <= 6) fixed("shortpath", u"a path after a short host");
                    if (!KnownShortener(host) && NamedInText(text, tokenStart, end, own))
                        fixed("ownhost", u"link to the host of a name in the message");
                    continue;
                }
            }
        }
        if (kinds & SpamMoneyFeatures) {
            for (std::size_t i = 0; i < token.size(); ++i) {
                const char32_t c = token[i];
                if (c < 0x80 && c != U'$' && c != U'%') continue;  // every other sign is beyond ASCII
                const bool symbol = c == U'£' || c == U'$' || c == U'€' || c == U'₹' || c == U'¥' || c == U'₦' ||
                                    c == U'₱' || c == U'₩' || c == U'₽' || c == U'₺';
                const bool nearDigit =
                    (i + 1 < token.size() && IsAsciiDigit(token[i + 1])) || (i > 0 && IsAsciiDigit(token[i - 1]));
                if (symbol && nearDigit) {
                    fixed("money", u"a sum of money");
                    const char32_t one[] = {U'$', c, 0};
                    mark(one, [c] { return u"a sum in " + ToUtf16(std::u32string(1, c)); });
                }
                if (c == U'%' && i > 0 && IsAsciiDigit(token[i - 1])) fixed("percent", u"a percentage");
            }
            std::size_t letters = 0;
            while (letters < token.size() && IsAsciiLetter(token[letters])) ++letters;
            const std::u32string_view code = token.substr(0, letters);
            const std::size_t dot = letters < token.size() && token[letters] == U'.' ? letters + 1 : letters;
            const bool amount = dot < token.size() && IsAsciiDigit(token[dot]);
            const bool before = letters == token.size() && end + 1 < text.size() && IsAsciiDigit(text[end + 1]);
            if ((amount || before) && OneOf(code, {"rs", "inr", "gbp", "usd", "eur", "kr", "nok", "sek", "dkk", "chf",
                                                   "aud", "cad", "rm", "ngn", "rp", "eth", "btc", "usdt"})) {
                fixed("money", u"a sum of money");
                mark(U"$" + std::u32string(code), [code] { return u"a sum in " + ToUtf16(code); });
            }
            if (letters == 0) {
                std::size_t digits = 0;
                while (digits < token.size() && (IsAsciiDigit(token[digits]) || token[digits] == U'.')) ++digits;
                if (digits > 0 && digits + 1 <= token.size() && token[digits] == U'p' &&
                    (digits + 1 == token.size() || token[digits + 1] == U'/'))
                    fixed("pence", u"a price in pence");
            }
        }
        if (kinds & SpamCodeFeatures) {
            const bool hasDigit = std::any_of(token.begin(), token.end(), IsAsciiDigit);
            const bool hasLetter = std::any_of(token.begin(), token.end(), IsAsciiLetter);
            const bool plain =
                std::all_of(token.begin(), token.end(), [](char32_t c) { return IsAsciiDigit(c) || IsAsciiLetter(c); });
            if (plain && hasDigit && hasLetter && token.size() >= 6) fixed("mixed", u"a code of letters and digits");
        }
    }
    if (kinds & SpamNumberFeatures) {
        std::size_t link = 0;
        for (std::size_t i = 0; i < text.size();) {
            while (link < links.size() && links[link].second <= i) ++link;
            if (link < links.size() && links[link].first <= i) {
                i = links[link].second;
                continue;
            }
            if (!IsAsciiDigit(text[i])) {
                ++i;
                continue;
            }
            const bool plus = i > 0 && text[i - 1] == U'+';
            const bool glued = i > 0 && (IsAsciiLetter(text[i - 1]) || (plus && i > 1 && IsAsciiLetter(text[i - 2])));
            std::u32string digits;
            std::size_t j = i;
            std::size_t groups = 1;
            while (j < text.size()) {
                if (IsAsciiDigit(text[j])) {
                    digits.push_back(text[j++]);
                } else if (j + 1 < text.size() && IsAsciiDigit(text[j + 1]) &&
                           (text[j] == U' ' || text[j] == U'-' || text[j] == U'(' || text[j] == U')') &&
                           digits.size() < 15) {
                    ++groups;
                    ++j;
                } else {
                    break;
                }
            }
            const bool tail = j < text.size() && IsAsciiLetter(text[j]);
            i = j;
            if (glued) continue;
            if (digits.size() >= 9) {
                fixed("phone", u"a phone number");
                if (plus) fixed("intl", u"an international phone number");
                if (digits.size() == 11 && (digits.starts_with(U"09") || digits.starts_with(U"087") ||
                                            digits.starts_with(U"070") || digits.starts_with(U"0871")))
                    fixed("premium", u"a premium-rate number");
            } else if (groups == 1 && !tail && digits.size() >= 4) {
                const char32_t key[] = {U'#', static_cast<char32_t>(U'0' + digits.size()), 0};
                const std::size_t count = digits.size();
                mark(key, [count] {
                    return u"a number of " + std::u16string(1, static_cast<char16_t>(u'0' + count)) + u" digits";
                });
            }
        }
    }
    if ((kinds & SpamCodeFeatures) && CarriesOneTimeCode(original)) fixed("otp", u"a one-time code");
}

// Every feature of text, each with a way to make its name.
template <typename Emit>
void Features(std::u16string_view text, const SpamFeatureShape& shape, Emit&& emit) {
    const std::u32string folded = FoldSpamText(text);
    std::u32string normal = folded;
    for (char32_t& c : normal) {
        if (IsDecimalDigit(c)) c = kDigitClass;
    }
    const std::size_t length = normal.size();
    if (shape.maxGram > 0) {
        for (std::size_t start = 0; start < length; ++start) {
            std::uint32_t hash = 2166136261u ^ kGramSeed;
            for (std::size_t n = 1; n <= shape.maxGram && start + n <= length; ++n) {
                hash = Step(hash, normal[start + n - 1]);
                if (n >= shape.minGram) {
                    emit(
                        Finish(hash),
                        [&normal, start, n] { return Quoted(std::u32string_view(normal).substr(start, n)); }, false);
                }
            }
        }
    }
    if (shape.wordGrams > 0) {
        std::uint32_t previous = 0;
        std::size_t previousStart = 0;
        bool hasPrevious = false;
        for (std::size_t i = 0; i < length;) {
            while (i < length && EndsWord(normal[i])) ++i;
            if (i == length) break;
            const std::size_t begin = i;
            std::uint32_t hash = 2166136261u ^ kWordSeed;
            for (; i < length && !EndsWord(normal[i]); ++i) hash = Step(hash, normal[i]);
            const std::u32string_view all(normal);
            emit(
                Finish(hash), [all, begin, i] { return Quoted(all.substr(begin, i - begin)); }, false);
            if (shape.wordGrams >= 2 && hasPrevious) {
                emit(
                    Finish((previous ^ kPairSeed) * 31u + hash),
                    [all, previousStart, i] { return Quoted(all.substr(previousStart, i - previousStart)); }, false);
            }
            previous = hash;
            previousStart = begin;
            hasPrevious = true;
        }
    }
    if (shape.kinds != 0) MarkFeatures(text, folded, shape.kinds, emit);
}

}  // namespace

bool IsValidSpamFeatureShape(const SpamFeatureShape& shape) {
    return shape.bucketBits >= MinSpamBucketBits && shape.bucketBits <= MaxSpamBucketBits &&
           shape.maxGram <= MaxSpamGram && shape.minGram <= shape.maxGram && shape.wordGrams <= 2 &&
           (shape.minGram >= 1 || (shape.minGram == 0 && shape.maxGram == 0)) &&
           (shape.maxGram > 0 || shape.wordGrams > 0) && shape.kinds <= AllSpamFeatureKinds;
}

std::u32string NormalizeSpamText(std::u16string_view text) {
    std::u32string normal = FoldSpamText(text);
    for (char32_t& c : normal) {
        if (IsDecimalDigit(c)) c = kDigitClass;
    }
    return normal;
}

void SpamFeatureBuckets(std::u16string_view text, const SpamFeatureShape& shape, std::vector<std::uint32_t>& buckets) {
    buckets.clear();
    const std::uint32_t mask = (1u << shape.bucketBits) - 1;
    Features(text, shape, [&](std::uint32_t hash, auto&&, bool) { buckets.push_back(hash & mask); });
    std::sort(buckets.begin(), buckets.end());
    buckets.erase(std::unique(buckets.begin(), buckets.end()), buckets.end());
}

void SpamFeatureVector(std::u16string_view text, const SpamFeatureShape& shape, std::vector<SpamFeature>& features) {
    features.clear();
    const std::uint32_t mask = (1u << shape.bucketBits) - 1;
    // Each bucket once, a mark winning over an n-gram that falls into the same bucket: the key
    // is the bucket followed by one bit that is 0 for a mark, so plain integers sort it.
    std::vector<std::uint32_t> keys;
    keys.reserve(text.size() * (shape.maxGram + 1) + 16);
    Features(text, shape,
             [&](std::uint32_t hash, auto&&, bool isMark) { keys.push_back((hash & mask) << 1 | (isMark ? 0u : 1u)); });
    std::sort(keys.begin(), keys.end());
    features.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys[i] >> 1 == keys[i - 1] >> 1) continue;
        features.push_back(SpamFeature{keys[i] >> 1, (keys[i] & 1u) == 0 ? SpamMarkScale : 1.0F});
    }
    if (features.empty()) return;
    const float norm = 1.0F / std::sqrt(static_cast<float>(features.size()));
    for (SpamFeature& feature : features) feature.value *= norm;
}

void NameSpamFeatures(std::u16string_view text, const SpamFeatureShape& shape, const std::vector<bool>* wanted,
                      const std::function<void(std::uint32_t bucket, const std::u16string& name)>& found) {
    const std::uint32_t mask = (1u << shape.bucketBits) - 1;
    Features(text, shape, [&](std::uint32_t hash, auto&& name, bool) {
        const std::uint32_t bucket = hash & mask;
        if (wanted == nullptr || (bucket < wanted->size() && (*wanted)[bucket])) found(bucket, name());
    });
}

}  // namespace velmo
