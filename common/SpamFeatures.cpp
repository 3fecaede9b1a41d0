#include "common/SpamFeatures.h"

#include <algorithm>

#include "common/UnicodeFolding.h"

namespace velmo {

namespace {

constexpr char32_t kDigitClass = U'0';
constexpr std::uint32_t kGramSeed = 0x9E3779B9u;
constexpr std::uint32_t kWordSeed = 0x85EBCA6Bu;
constexpr std::uint32_t kPairSeed = 0xC2B2AE35u;

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

// Each word, and each pair of neighbouring words when the shape asks for them.
void WordBuckets(const std::u32string& normal, const SpamFeatureShape& shape, std::uint32_t mask,
                 std::vector<std::uint32_t>& buckets) {
    const std::size_t length = normal.size();
    std::uint32_t previous = 0;
    bool hasPrevious = false;
    for (std::size_t i = 0; i < length;) {
        while (i < length && EndsWord(normal[i])) ++i;
        if (i == length) break;
        std::uint32_t hash = 2166136261u ^ kWordSeed;
        for (; i < length && !EndsWord(normal[i]); ++i) hash = Step(hash, normal[i]);
        buckets.push_back(Finish(hash) & mask);
        if (shape.wordGrams >= 2 && hasPrevious) buckets.push_back(Finish((previous ^ kPairSeed) * 31u + hash) & mask);
        previous = hash;
        hasPrevious = true;
    }
}

}  // namespace

bool IsValidSpamFeatureShape(const SpamFeatureShape& shape) {
    return shape.bucketBits >= MinSpamBucketBits && shape.bucketBits <= MaxSpamBucketBits &&
           shape.maxGram <= MaxSpamGram && shape.minGram <= shape.maxGram && shape.wordGrams <= 2 &&
           (shape.minGram >= 1 || (shape.minGram == 0 && shape.maxGram == 0)) &&
           (shape.maxGram > 0 || shape.wordGrams > 0);
}

std::u32string NormalizeSpamText(std::u16string_view text) {
    std::u32string normal;
    normal.reserve(text.size() + 2);
    normal.push_back(U' ');
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (IsSpace(c)) {
            if (normal.back() != U' ') normal.push_back(U' ');
            continue;
        }
        normal.push_back(IsDecimalDigit(c) ? kDigitClass : SimpleCaseFold(c));
    }
    if (normal.back() != U' ') normal.push_back(U' ');
    return normal;
}

void SpamFeatureBuckets(std::u16string_view text, const SpamFeatureShape& shape, std::vector<std::uint32_t>& buckets) {
    buckets.clear();
    const std::u32string normal = NormalizeSpamText(text);
    const std::uint32_t mask = (1u << shape.bucketBits) - 1;
    const std::size_t length = normal.size();
    if (shape.maxGram > 0) {
        for (std::size_t start = 0; start < length; ++start) {
            std::uint32_t hash = 2166136261u ^ kGramSeed;
            for (std::size_t n = 1; n <= shape.maxGram && start + n <= length; ++n) {
                hash = Step(hash, normal[start + n - 1]);
                if (n >= shape.minGram) buckets.push_back(Finish(hash) & mask);
            }
        }
    }
    if (shape.wordGrams > 0) WordBuckets(normal, shape, mask, buckets);
    std::sort(buckets.begin(), buckets.end());
    buckets.erase(std::unique(buckets.begin(), buckets.end()), buckets.end());
}

}  // namespace velmo
