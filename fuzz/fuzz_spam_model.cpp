// Arbitrary bytes as SpamModel.dat, and arbitrary texts scored with it: the reader accepts only
// a whole, checked model and never reads past the end, and a score is always a number from 0
// to 1 that agrees with the verdict (a one-time code holds back only what reached the
// threshold). An odd first byte makes the rest's check right, so that the fuzzer gets past it
// to the numbers behind.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/SpamFeatures.h"
#include "common/SpamModelFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<std::uint8_t> file(data + 1, data + size);
    if ((data[0] & 1) != 0 && file.size() >= velmo::SpamModelHeaderSize) {
        const std::uint32_t check = velmo::SpamModelCheck(file);
        for (int i = 0; i < 4; ++i) file[60 + i] = static_cast<std::uint8_t>(check >> (8 * i));
    }
    // An exact-size buffer, so that a read past the end is seen by the address sanitizer.
    const auto bytes = std::make_unique<std::uint8_t[]>(file.size());
    std::copy(file.begin(), file.end(), bytes.get());
    const auto model = velmo::SpamModelView::Parse(std::span<const std::uint8_t>(bytes.get(), file.size()));

    std::u16string text;
    for (std::size_t i = 1; i + 1 < size && text.size() < 400; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    std::vector<std::uint32_t> buckets;
    const velmo::SpamFeatureShape shape{static_cast<std::uint32_t>(velmo::MinSpamBucketBits + data[0] % 9), 1,
                                        static_cast<std::uint32_t>(1 + data[0] % 8), data[0] % 3u};
    velmo::SpamFeatureBuckets(text, shape, buckets);
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        if (buckets[i] >> shape.bucketBits != 0 || (i > 0 && buckets[i - 1] >= buckets[i])) std::abort();
    }
    if (!model) return 0;
    const velmo::SpamVerdict verdict = model->Judge(text);
    const bool reached = verdict.score >= model->Threshold();
    if (!(verdict.score >= 0.0 && verdict.score <= 1.0) || verdict.spam != (reached && !verdict.heldBack) ||
        (verdict.heldBack && !reached)) {
        std::abort();
    }
    return 0;
}
