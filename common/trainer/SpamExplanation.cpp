#include "common/trainer/SpamExplanation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>

#include "device/Files.h"
#include "device/Text.h"

namespace velmo {

namespace {

constexpr std::string_view kHead = "VL_SPAM_NAMES 1 ";

// How a name ranks for a bucket: a lure's mark, then a word or pair of words, then an n-gram.
int Rank(const std::u16string& name) {
    if (name.empty() || name.front() != u'"') return 3;
    return name.find(u' ') != std::u16string::npos || name.size() > 6 ? 2 : 1;
}

}  // namespace

std::string SpamNamesPath(const std::string& modelPath) {
    return std::filesystem::path(modelPath).replace_extension(".names").string();
}

std::string SpamNamesText(const SpamModel& model, const std::vector<LabelledMessage>& messages) {
    const std::vector<std::uint8_t> bytes = SerializeSpamModel(model);
    const std::uint32_t check = SpamModelCheck(bytes);
    std::vector<std::uint32_t> heaviest;
    for (std::uint32_t i = 0; i < model.weights.size(); ++i) {
        if (model.weights[i] > 0.0F) heaviest.push_back(i);
    }
    const std::size_t kept = std::min(heaviest.size(), MaxSpamNames);
    std::partial_sort(heaviest.begin(), heaviest.begin() + static_cast<std::ptrdiff_t>(kept), heaviest.end(),
                      [&](std::uint32_t a, std::uint32_t b) { return model.weights[a] > model.weights[b]; });
    heaviest.resize(kept);
    std::vector<bool> wanted(model.weights.size(), false);
    for (std::uint32_t bucket : heaviest) wanted[bucket] = true;
    std::unordered_map<std::uint32_t, std::u16string> names;
    // Spam names its buckets first: they are what the weights learnt from.
    for (bool spam : {true, false}) {
        for (const LabelledMessage& message : messages) {
            if (message.spam != spam) continue;
            NameSpamFeatures(message.text, model.shape, &wanted, [&](std::uint32_t bucket, const std::u16string& name) {
                std::u16string& known = names[bucket];
                if (known.empty() || Rank(name) > Rank(known)) known = name;
            });
        }
    }
    std::sort(heaviest.begin(), heaviest.end());
    char head[32];
    std::snprintf(head, sizeof head, "%08x\n", check);
    std::string text = std::string(kHead) + head;
    for (std::uint32_t bucket : heaviest) {
        const auto found = names.find(bucket);
        if (found == names.end()) continue;
        std::u16string name = found->second;
        std::replace_if(
            name.begin(), name.end(), [](char16_t c) { return c == u'\n' || c == u'\r' || c == u'\t'; }, u' ');
        text += std::to_string(bucket) + "\t" + device::ToUtf8(name) + "\n";
    }
    return text;
}

bool WriteSpamNames(const std::string& path, const SpamModel& model, const std::vector<LabelledMessage>& messages) {
    const std::string text = SpamNamesText(model, messages);
    return device::ReplaceFileAtomically(device::ToUtf16(path), text.data(), text.size());
}

std::optional<SpamNames> ReadSpamNames(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!file || !std::getline(file, line) || line.size() != kHead.size() + 8 || !line.starts_with(kHead))
        return std::nullopt;
    SpamNames names;
    try {
        std::size_t used = 0;
        names.check = static_cast<std::uint32_t>(std::stoul(line.substr(kHead.size()), &used, 16));
        if (used != 8) return std::nullopt;
        while (std::getline(file, line)) {
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos || tab == 0) return std::nullopt;
            names.names[static_cast<std::uint32_t>(std::stoul(line.substr(0, tab)))] =
                device::ToUtf16(line.substr(tab + 1));
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return names;
}

std::vector<SpamReason> ExplainSpam(const SpamModelView& model, const SpamNames& names, std::u16string_view text,
                                    std::size_t count) {
    std::vector<SpamReason> reasons;
    if (names.check != model.Check()) return reasons;
    std::vector<SpamFeature> features;
    SpamFeatureVector(text, model.Shape(), features);
    std::vector<bool> wanted(std::size_t{1} << model.Shape().bucketBits, false);
    std::vector<std::pair<std::uint32_t, double>> weighing;
    for (const SpamFeature& feature : features) {
        const double weight = static_cast<double>(model.Weight(feature.bucket)) * feature.value;
        if (weight > 0.0 && names.names.contains(feature.bucket)) {
            weighing.emplace_back(feature.bucket, weight);
            wanted[feature.bucket] = true;
        }
    }
    // Another feature of this message may share a named bucket: then the message's own one is
    // what weighed, and it is named instead.
    std::unordered_map<std::uint32_t, std::u16string> own;
    NameSpamFeatures(text, model.Shape(), &wanted, [&](std::uint32_t bucket, const std::u16string& name) {
        std::u16string& known = own[bucket];
        if (name == names.names.at(bucket) || known == names.names.at(bucket)) {
            known = name == names.names.at(bucket) ? name : known;
        } else if (known.empty() || Rank(name) > Rank(known)) {
            known = name;
        }
    });
    for (const auto& [bucket, weight] : weighing) reasons.push_back(SpamReason{own[bucket], weight});
    const std::size_t kept = std::min(count, reasons.size());
    std::partial_sort(reasons.begin(), reasons.begin() + static_cast<std::ptrdiff_t>(kept), reasons.end(),
                      [](const SpamReason& a, const SpamReason& b) { return a.weight > b.weight; });
    reasons.resize(kept);
    return reasons;
}

std::vector<SpamReason> ExplainSpamWithFile(const std::string& modelPath, std::u16string_view text, std::size_t count) {
    device::MappedFile file;
    if (!file.Open(device::ToUtf16(modelPath), device::MappedFile::Mode::ReadOnly) || file.Data() == nullptr) return {};
    const std::optional<SpamModelView> model =
        SpamModelView::Parse(std::span<const std::uint8_t>(file.Data(), file.Size()));
    const std::optional<SpamNames> names = ReadSpamNames(SpamNamesPath(modelPath));
    if (!model || !names) return {};
    return ExplainSpam(*model, *names, text, count);
}

std::string SpamReasonsText(const std::vector<SpamReason>& reasons) {
    std::string text;
    for (const SpamReason& reason : reasons) {
        char weight[32];
        std::snprintf(weight, sizeof weight, " +%.1f", reason.weight);
        if (!text.empty()) text += ", ";
        text += device::ToUtf8(reason.name) + weight;
    }
    return text;
}

}  // namespace velmo
