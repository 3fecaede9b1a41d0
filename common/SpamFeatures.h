#pragma once
// The features the spam model weighs, shared by its trainer and by the handler's scorer so
// that both see a message alike. They serve any language: the text is case-folded by Unicode's
// simple folding, every decimal digit becomes one digit class, runs of white space become one
// space; then each character n-gram and each word (and pair of neighbouring words) is hashed
// into a fixed table of buckets. Beside them come the marks of today's lures, read from the
// folded text with its digits kept: each link's host and last label, a bare IP address, a
// known link shortener, digits, a hyphen or a brand word inside a host, a path after a short
// host, sums of money and their currencies, phone numbers and short codes, and the shapes of
// codes. A message's vector has 1 in each bucket that one of its features falls into (more for
// the lures' marks, which would drown among hundreds of n-grams), divided by the square root of
// how many such buckets there are.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

// The kinds of feature beyond n-grams and words; every model file of this version uses all
// of them, the trainer's cross-validation may leave some out to weigh what each one brings.
enum SpamFeatureKind : std::uint32_t {
    SpamLinkFeatures = 1,
    SpamMoneyFeatures = 2,
    SpamNumberFeatures = 4,
    SpamCodeFeatures = 8,
};
inline constexpr std::uint32_t AllSpamFeatureKinds = 15;

struct SpamFeatureShape {
    std::uint32_t bucketBits = 17;  // the table has 2^bucketBits buckets
    std::uint32_t minGram = 1;      // character n-grams from minGram to maxGram code points
    std::uint32_t maxGram = 4;
    std::uint32_t wordGrams = 2;                // 0 no words, 1 words, 2 words and neighbouring pairs
    std::uint32_t kinds = AllSpamFeatureKinds;  // not in the file, which always means all of them
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

struct SpamFeature {
    std::uint32_t bucket;
    float value;
};

// How much more a lure's mark weighs in the vector than an n-gram or a word.
inline constexpr float SpamMarkScale = 8.0F;

// The feature vector of text: its buckets ascending, each once, with their values; the
// previous content of features is replaced.
void SpamFeatureVector(std::u16string_view text, const SpamFeatureShape& shape, std::vector<SpamFeature>& features);

// Each feature of text whose bucket is wanted (every one without wanted), with a name a person
// can read ("claim now", link to a .top host), in the order they are found; a bucket may come
// more than once. Names are made only for the buckets asked for, for they cost far more.
void NameSpamFeatures(std::u16string_view text, const SpamFeatureShape& shape, const std::vector<bool>* wanted,
                      const std::function<void(std::uint32_t bucket, const std::u16string& name)>& found);

}  // namespace velmo
