#pragma once
// SpamModel.dat: the linear model that judges whether a stranger's message is spam. Its
// trainer (velmo-device, VelmoLight) replaces it whole; the handler maps it read-only and keeps
// it while the file stays the same, and only ever computes one dot product with it. A 64-byte
// header is followed by the weights, little-endian:
//
//   header  0  32  magic: the UTF-16 text "VL_SPAM_MODEL", zero units up to offset 32
//          32   4  version, unsigned: 2 (1 was a model of n-grams and words alone, whose
//                   buckets now mean other things: such a file judges nothing)
//          36   4  bucket bits, unsigned: 10 to 18, the file holds 2^bits weights
//          40   4  shortest character n-gram, unsigned
//          44   4  longest character n-gram, unsigned: at most 8
//          48   4  word features, unsigned: 0 none, 1 words, 2 words and neighbouring pairs
//          52   4  threshold, float: a message whose score reaches it is spam, 0 < t < 1
//          56   4  bias, float
//          60   4  check: FNV-1a (32 bits) of bytes 0 to 60 followed by every weight's bytes
//   weights 4 each, float, one per bucket
//
// A message's score is the logistic function of bias plus the dot product of its feature
// vector (see SpamFeatures.h) with the weights: a number between 0 and 1. A message that
// carries a one-time code (OneTimeCode.h) is never judged spam, whatever its score.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/SpamFeatures.h"

namespace velmo {

inline constexpr const char16_t* SpamModelFileName = u"SpamModel.dat";
inline constexpr std::size_t SpamModelHeaderSize = 64;
inline constexpr std::uint32_t SpamModelVersion = 2;

struct SpamModel {
    SpamFeatureShape shape;
    float threshold = 0.5F;
    float bias = 0.0F;
    std::vector<float> weights;  // 2^shape.bucketBits of them
};

struct SpamVerdict {
    double score;   // 0 to 1
    bool spam;      // score reached the model's threshold and no one-time code holds it back
    bool heldBack;  // score reached the threshold, but the message carries a one-time code
};

// The file's bytes for model; empty when it breaks a limit (a shape out of range or without
// every kind of feature, a weight count that does not match, a threshold outside (0, 1), a
// number that is not finite).
std::vector<std::uint8_t> SerializeSpamModel(const SpamModel& model);

// The check a file of these bytes must hold at offset 60 (bytes shorter than a header have none).
std::uint32_t SpamModelCheck(std::span<const std::uint8_t> bytes);

// Replaces the file at path atomically, so that a reader sees the old model or the whole new
// one; false, the old file untouched, when the model breaks a limit or cannot be written.
bool WriteSpamModel(std::u16string_view path, const SpamModel& model);

// A model read in place from a file's bytes, which must outlive it.
class SpamModelView {
public:
    // None unless bytes are a whole model of this version whose check matches and whose
    // numbers are all finite.
    static std::optional<SpamModelView> Parse(std::span<const std::uint8_t> bytes);

    const SpamFeatureShape& Shape() const { return shape_; }
    float Threshold() const { return threshold_; }
    float Bias() const { return bias_; }
    std::uint32_t Check() const { return check_; }
    float Weight(std::uint32_t bucket) const;  // bucket below 2^bucket bits
    SpamVerdict Judge(std::u16string_view text) const;

private:
    SpamFeatureShape shape_;
    float threshold_ = 0.5F;
    float bias_ = 0.0F;
    std::uint32_t check_ = 0;
    const std::uint8_t* weights_ = nullptr;
};

// The score of the model file at path for text, read as the handler reads it: mapped read-only
// and kept, with its checks done, for as long as the file at path stays the same. None when the
// file is missing or damaged, which for the caller means "not spam".
std::optional<SpamVerdict> JudgeSpamWithFile(std::u16string_view path, std::u16string_view text);

}  // namespace velmo
