#pragma once
// The features the spam model weighs, shared by its trainer and by the handler's scorer so
// that both see a message alike. They serve any language: the text is case-folded by Unicode's
// simple folding, every decimal digit becomes one digit class, runs of white space become one
// space; then each character n-gram and each word (and pair of neighbouring words) is hashed
// into a fixed table of buckets. A message's vector has 1 in each bucket that one of its
// features falls into, divided by the square root of how many such buckets there are.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

struct SpamFeatureShape {
    std::uint32_t bucketBits = 17;  // the table has 2^bucketBits buckets
    std::uint32_t minGram = 1;      // character n-grams from minGram to maxGram code points
    std::uint32_t maxGram = 4;
    std::uint32_t wordGrams = 2;  // 0 no words, 1 words, 2 words and neighbouring pairs
    friend bool operator==(const SpamFeatureShape&, const SpamFeatureShape&) = default;
};

inline constexpr std::uint32_t MinSpamBucketBits = 10;
inline constexpr std::uint32_t MaxSpamBucketBits = 18;
inline constexpr std::uint32_t MaxSpamGram = 8;

// Whether a shape can be used (read from a file, it may be anything).
bool IsValidSpamFeatureShape(const SpamFeatureShape& shape);

// The text as the features see it: folded, digits as one class, white space as single spaces,
// with one space before and after.
std::u32string NormalizeSpamText(std::u16string_view text);

// The buckets that the features of text fall into, ascending, each once; the previous content
// of buckets is replaced.
void SpamFeatureBuckets(std::u16string_view text, const SpamFeatureShape& shape, std::vector<std::uint32_t>& buckets);

}  // namespace velmo
