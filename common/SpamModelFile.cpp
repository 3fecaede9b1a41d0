#include "common/SpamModelFile.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "common/LittleEndian.h"
#include "common/OneTimeCode.h"
#include "device/Files.h"

namespace velmo {

namespace {

constexpr std::u16string_view kMagicText = u"VL_SPAM_MODEL";
constexpr std::size_t kMagicSize = 32;
constexpr std::size_t kVersionOffset = 32;
constexpr std::size_t kBucketBitsOffset = 36;
constexpr std::size_t kMinGramOffset = 40;
constexpr std::size_t kMaxGramOffset = 44;
constexpr std::size_t kWordGramsOffset = 48;
constexpr std::size_t kThresholdOffset = 52;
constexpr std::size_t kBiasOffset = 56;
constexpr std::size_t kCheckOffset = 60;

constexpr auto kMagic = Utf16LeMagic<kMagicSize>(kMagicText);

float LoadFloat(const std::uint8_t* bytes) { return std::bit_cast<float>(LoadLe32(bytes)); }
void StoreFloat(std::uint8_t* bytes, float value) { StoreLe32(bytes, std::bit_cast<std::uint32_t>(value)); }

std::uint32_t Fnv1a(std::uint32_t hash, const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

bool ValidThreshold(float threshold) { return std::isfinite(threshold) && threshold > 0.0F && threshold < 1.0F; }

}  // namespace

std::uint32_t SpamModelCheck(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < SpamModelHeaderSize) return 0;
    const std::uint32_t head = Fnv1a(2166136261u, bytes.data(), kCheckOffset);
    return Fnv1a(head, bytes.data() + SpamModelHeaderSize, bytes.size() - SpamModelHeaderSize);
}

std::vector<std::uint8_t> SerializeSpamModel(const SpamModel& model) {
    if (!IsValidSpamFeatureShape(model.shape) || model.shape.kinds != AllSpamFeatureKinds ||
        model.weights.size() != (std::size_t{1} << model.shape.bucketBits) || !ValidThreshold(model.threshold) ||
        !std::isfinite(model.bias)) {
        return {};
    }
    std::vector<std::uint8_t> bytes(SpamModelHeaderSize + 4 * model.weights.size(), 0);
    std::memcpy(bytes.data(), kMagic.data(), kMagic.size());
    StoreLe32(bytes.data() + kVersionOffset, SpamModelVersion);
    StoreLe32(bytes.data() + kBucketBitsOffset, model.shape.bucketBits);
    StoreLe32(bytes.data() + kMinGramOffset, model.shape.minGram);
    StoreLe32(bytes.data() + kMaxGramOffset, model.shape.maxGram);
    StoreLe32(bytes.data() + kWordGramsOffset, model.shape.wordGrams);
    StoreFloat(bytes.data() + kThresholdOffset, model.threshold);
    StoreFloat(bytes.data() + kBiasOffset, model.bias);
    for (std::size_t i = 0; i < model.weights.size(); ++i) {
        if (!std::isfinite(model.weights[i])) return {};
        StoreFloat(bytes.data() + SpamModelHeaderSize + 4 * i, model.weights[i]);
    }
    StoreLe32(bytes.data() + kCheckOffset, SpamModelCheck(bytes));
    return bytes;
}

bool WriteSpamModel(std::u16string_view path, const SpamModel& model) {
    const std::vector<std::uint8_t> bytes = SerializeSpamModel(model);
    return !bytes.empty() && device::ReplaceFileAtomically(path, bytes.data(), bytes.size());
}

std::optional<SpamModelView> SpamModelView::Parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < SpamModelHeaderSize || std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0 ||
        LoadLe32(bytes.data() + kVersionOffset) != SpamModelVersion) {
        return std::nullopt;
    }
    SpamModelView view;
    view.shape_ = SpamFeatureShape{LoadLe32(bytes.data() + kBucketBitsOffset), LoadLe32(bytes.data() + kMinGramOffset),
                                   LoadLe32(bytes.data() + kMaxGramOffset), LoadLe32(bytes.data() + kWordGramsOffset)};
    if (!IsValidSpamFeatureShape(view.shape_) ||
        bytes.size() != SpamModelHeaderSize + (std::size_t{4} << view.shape_.bucketBits)) {
        return std::nullopt;
    }
    view.threshold_ = LoadFloat(bytes.data() + kThresholdOffset);
    view.bias_ = LoadFloat(bytes.data() + kBiasOffset);
    if (!ValidThreshold(view.threshold_) || !std::isfinite(view.bias_) ||
        LoadLe32(bytes.data() + kCheckOffset) != SpamModelCheck(bytes)) {
        return std::nullopt;
    }
    view.check_ = LoadLe32(bytes.data() + kCheckOffset);
    view.weights_ = bytes.data() + SpamModelHeaderSize;
    for (std::size_t i = 0; i < (std::size_t{1} << view.shape_.bucketBits); ++i) {
        if (!std::isfinite(LoadFloat(view.weights_ + 4 * i))) return std::nullopt;
    }
    return view;
}

float SpamModelView::Weight(std::uint32_t bucket) const {
    return LoadFloat(weights_ + 4 * static_cast<std::size_t>(bucket));
}

SpamVerdict SpamModelView::Judge(std::u16string_view text) const {
    std::vector<SpamFeature> features;
    SpamFeatureVector(text, shape_, features);
    double margin = bias_;
    for (const SpamFeature& feature : features) margin += static_cast<double>(Weight(feature.bucket)) * feature.value;
    const double score = 1.0 / (1.0 + std::exp(-margin));
    const bool reached = score >= threshold_;
    const bool heldBack = reached && CarriesOneTimeCode(text);
    return SpamVerdict{score, reached && !heldBack, heldBack};
}

namespace {

// One mapped model file with its checks done, for as long as the file keeps its stamp.
struct KeptModel {
    std::u16string path;
    device::FileStamp stamp;
    device::MappedFile file;
    std::optional<SpamModelView> view;  // none for a damaged file, which stays damaged until it changes
};

// The model of the last message: checking 2^17 weights costs far more than a message's dot
// product, while the file changes only when the model is retrained. The handler's one other
// process-wide memory besides the compiled text rules, holding nothing that was not in the file.
std::shared_ptr<const KeptModel> KeptModelFor(std::u16string_view path) {
    static std::mutex guard;
    static std::shared_ptr<const KeptModel> kept;
    device::FileStamp stamp;
    if (!device::ReadFileStamp(path, stamp)) return nullptr;
    {
        std::lock_guard lock(guard);
        if (kept && kept->path == path && kept->stamp == stamp) return kept;
    }
    auto fresh = std::make_shared<KeptModel>();
    fresh->path = std::u16string(path);
    fresh->stamp = stamp;
    if (fresh->file.Open(path, device::MappedFile::Mode::ReadOnly) && fresh->file.Data() != nullptr) {
        fresh->view = SpamModelView::Parse(std::span<const std::uint8_t>(fresh->file.Data(), fresh->file.Size()));
    }
    std::lock_guard lock(guard);
    kept = fresh;
    return fresh;
}

}  // namespace

std::optional<SpamVerdict> JudgeSpamWithFile(std::u16string_view path, std::u16string_view text) {
    const std::shared_ptr<const KeptModel> model = KeptModelFor(path);
    if (!model || !model->view) return std::nullopt;
    return model->view->Judge(text);
}

}  // namespace velmo
