#include "common/trainer/SpamTrainer.h"

#include <linear.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "common/OneTimeCode.h"
#include "device/Text.h"

namespace velmo {

namespace {

constexpr int kSpamLabel = 1;
constexpr int kHamLabel = -1;

void Quiet(const char*) {}

// One message as liblinear takes it: its buckets (from index 1) with their values, the bias
// feature and the terminator.
std::vector<feature_node> FeatureNodes(std::u16string_view text, const SpamFeatureShape& shape,
                                       std::vector<SpamFeature>& features) {
    SpamFeatureVector(text, shape, features);
    std::vector<feature_node> nodes;
    nodes.reserve(features.size() + 2);
    for (const SpamFeature& feature : features)
        nodes.push_back(feature_node{static_cast<int>(feature.bucket) + 1, static_cast<double>(feature.value)});
    nodes.push_back(feature_node{(1 << shape.bucketBits) + 1, 1.0});
    nodes.push_back(feature_node{-1, 0.0});
    return nodes;
}

std::string Percent(std::size_t part, std::size_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return text;
}

}  // namespace

bool ParseLabelledMessages(std::string_view utf8, std::vector<LabelledMessage>& messages, std::string& error) {
    std::size_t lineNumber = 0;
    while (!utf8.empty()) {
        ++lineNumber;
        const std::size_t end = utf8.find('\n');
        std::string_view line = utf8.substr(0, end);
        utf8 = end == std::string_view::npos ? std::string_view() : utf8.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const std::size_t tab = line.find('\t');
        const std::string_view label = line.substr(0, tab);
        if (tab == std::string_view::npos || (label != "ham" && label != "spam")) {
            error = "line " + std::to_string(lineNumber) + ": not \"ham<TAB>text\" or \"spam<TAB>text\"";
            return false;
        }
        messages.push_back(LabelledMessage{label == "spam", device::ToUtf16(line.substr(tab + 1))});
    }
    return true;
}

bool ReadLabelledMessages(const std::string& path, std::vector<LabelledMessage>& messages, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    if (!file || !(bytes << file.rdbuf())) {
        if (file && file.peek() == std::char_traits<char>::eof()) return true;
        error = "cannot read " + path;
        return false;
    }
    if (!ParseLabelledMessages(bytes.str(), messages, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string LabelledMessageLine(const LabelledMessage& message) {
    std::u16string text = message.text;
    std::replace_if(
        text.begin(), text.end(), [](char16_t c) { return c == u'\n' || c == u'\r' || c == u'\t'; }, u' ');
    return (message.spam ? "spam\t" : "ham\t") + device::ToUtf8(text) + "\n";
}

bool TrainSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options, SpamModel& model,
                    std::string& error, std::size_t firstLabel) {
    if (!IsValidSpamFeatureShape(options.shape)) {
        error = "the feature shape is out of range";
        return false;
    }
    if (messages.empty()) {
        error = "there are no labelled messages to learn from";
        return false;
    }
    std::vector<std::vector<feature_node>> rows;
    rows.reserve(messages.size());
    std::vector<feature_node*> x;
    std::vector<double> y;
    std::vector<SpamFeature> vector;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        rows.push_back(FeatureNodes(messages[i].text, options.shape, vector));
        const std::size_t copies = i >= firstLabel ? std::max<std::size_t>(options.labelCopies, 1) : 1;
        for (std::size_t copy = 0; copy < copies; ++copy) {
            x.push_back(rows.back().data());
            y.push_back(messages[i].spam ? kSpamLabel : kHamLabel);
        }
    }
    const int features = 1 << options.shape.bucketBits;
    problem prob{};
    prob.l = static_cast<int>(x.size());
    prob.n = features + 1;
    prob.y = y.data();
    prob.x = x.data();
    prob.bias = 1.0;
    parameter param{};
    param.solver_type = L2R_LR;
    param.eps = 0.01;
    param.C = options.cost;
    set_print_string_function(Quiet);
    if (const char* problemError = check_parameter(&prob, &param)) {
        error = problemError;
        return false;
    }
    std::unique_ptr<struct model, void (*)(struct model*)> learnt(train(&prob, &param),
                                                                  [](struct model* m) { free_and_destroy_model(&m); });
    if (!learnt) {
        error = "liblinear could not learn a model";
        return false;
    }
    // A model of one class has no second column; liblinear's first label is its positive side.
    const double sign = learnt->nr_class == 2 && learnt->label[0] == kHamLabel ? -1.0 : 1.0;
    model.shape = options.shape;
    model.threshold = options.threshold;
    model.weights.assign(static_cast<std::size_t>(features), 0.0F);
    for (int i = 0; i < features; ++i)
        model.weights[static_cast<std::size_t>(i)] = static_cast<float>(sign * learnt->w[i]);
    model.bias = static_cast<float>(sign * learnt->w[features]);
    if (learnt->nr_class != 2) {
        // Every message carries one label: the bias alone says it.
        std::fill(model.weights.begin(), model.weights.end(), 0.0F);
        model.bias = messages.front().spam ? 4.0F : -4.0F;
    }
    return true;
}

SpamCounts EvaluateSpamModel(const SpamModelView& model, const std::vector<LabelledMessage>& messages) {
    SpamCounts counts;
    for (const LabelledMessage& message : messages) {
        const bool judged = model.Judge(message.text).spam;
        if (message.spam) {
            ++(judged ? counts.spamCaught : counts.spamMissed);
        } else {
            ++(judged ? counts.hamBlocked : counts.hamPassed);
        }
    }
    return counts;
}

std::uint32_t SpamTemplateFold(std::u16string_view text, std::size_t folds) {
    const std::u32string normal = NormalizeSpamText(text);
    std::uint32_t hash = 2166136261u;
    int words = 0;
    for (std::size_t i = 0; i < normal.size() && words < 6;) {
        while (i < normal.size() && normal[i] == U' ') ++i;
        const std::size_t begin = i;
        while (i < normal.size() && normal[i] != U' ') ++i;
        const std::u32string_view word = std::u32string_view(normal).substr(begin, i - begin);
        if (word.empty() || word.find_first_of(U"0/.@:") != std::u32string_view::npos) continue;
        for (char32_t c : word) hash = (hash ^ static_cast<std::uint32_t>(c)) * 16777619u;
        hash = (hash ^ 0x20u) * 16777619u;
        ++words;
    }
    return static_cast<std::uint32_t>(hash % std::max<std::size_t>(folds, 1));
}

SpamVerdict JudgeWithSpamModel(const SpamModel& model, std::u16string_view text) {
    std::vector<SpamFeature> features;
    SpamFeatureVector(text, model.shape, features);
    double margin = model.bias;
    for (const SpamFeature& feature : features)
        margin += static_cast<double>(model.weights[feature.bucket]) * feature.value;
    const double score = 1.0 / (1.0 + std::exp(-margin));
    const bool reached = score >= model.threshold;
    const bool heldBack = reached && CarriesOneTimeCode(text);
    return SpamVerdict{score, reached && !heldBack, heldBack};
}

std::vector<double> CrossValidateSpamScores(const std::vector<LabelledMessage>& messages,
                                            const SpamTrainingOptions& options, std::size_t folds) {
    std::vector<double> scores(messages.size(), 0.0);
    folds = std::max<std::size_t>(2, std::min(folds, messages.size()));
    std::vector<std::uint32_t> fold(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) fold[i] = SpamTemplateFold(messages[i].text, folds);
    for (std::uint32_t part = 0; part < folds; ++part) {
        std::vector<LabelledMessage> learn;
        for (std::size_t i = 0; i < messages.size(); ++i) {
            if (fold[i] != part) learn.push_back(messages[i]);
        }
        if (learn.size() == messages.size()) continue;
        SpamModel model;
        std::string error;
        if (!TrainSpamModel(learn, options, model, error)) continue;
        for (std::size_t i = 0; i < messages.size(); ++i) {
            if (fold[i] == part) scores[i] = JudgeWithSpamModel(model, messages[i].text).score;
        }
    }
    return scores;
}

SpamCounts CountSpamScores(const std::vector<LabelledMessage>& messages, const std::vector<double>& scores,
                           double threshold, std::size_t begin, std::size_t end) {
    SpamCounts counts;
    for (std::size_t i = begin; i < end && i < messages.size(); ++i) {
        const bool judged = scores[i] >= threshold && !CarriesOneTimeCode(messages[i].text);
        if (messages[i].spam) {
            ++(judged ? counts.spamCaught : counts.spamMissed);
        } else {
            ++(judged ? counts.hamBlocked : counts.hamPassed);
        }
    }
    return counts;
}

SpamCounts CrossValidateSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options,
                                  std::size_t folds) {
    return CountSpamScores(messages, CrossValidateSpamScores(messages, options, folds), options.threshold, 0,
                           messages.size());
}

SpamReplay ReplaySpamMessages(const std::vector<LabelledMessage>& starting, std::vector<LabelledMessage> replayed,
                              const SpamTrainingOptions& options) {
    // Fisher and Yates with a fixed seed, spelt out so that every library shuffles alike.
    std::mt19937 random(20111);
    for (std::size_t i = replayed.size(); i > 1; --i) std::swap(replayed[i - 1], replayed[random() % i]);
    SpamReplay replay;
    replay.firstHalf = replayed.size() / 2;
    std::vector<LabelledMessage> learnt = starting;
    SpamModel model;
    std::string error;
    bool trained = TrainSpamModel(learnt, options, model, error, starting.size());
    for (std::size_t i = 0; i < replayed.size(); ++i) {
        const bool judged = trained && JudgeWithSpamModel(model, replayed[i].text).spam;
        if (judged == replayed[i].spam) continue;
        ++(i < replay.firstHalf ? replay.firstCorrections : replay.secondCorrections);
        learnt.push_back(replayed[i]);
        trained = TrainSpamModel(learnt, options, model, error, starting.size());
    }
    return replay;
}

std::string SpamCountsLine(const SpamCounts& counts) {
    const std::size_t spam = counts.spamCaught + counts.spamMissed;
    const std::size_t ham = counts.hamBlocked + counts.hamPassed;
    const double tp = static_cast<double>(counts.spamCaught);
    const double fn = static_cast<double>(counts.spamMissed);
    const double fp = static_cast<double>(counts.hamBlocked);
    const double tn = static_cast<double>(counts.hamPassed);
    const double denominator = std::sqrt((tp + fp) * (tp + fn) * (tn + fp) * (tn + fn));
    char mcc[32];
    std::snprintf(mcc, sizeof mcc, "%.3f", denominator == 0.0 ? 0.0 : (tp * tn - fp * fn) / denominator);
    return "caught " + std::to_string(counts.spamCaught) + " of " + std::to_string(spam) + " spam (" +
           Percent(counts.spamCaught, spam) + " %), blocked " + std::to_string(counts.hamBlocked) + " of " +
           std::to_string(ham) + " ham (" + Percent(counts.hamBlocked, ham) + " %), accuracy " +
           Percent(counts.spamCaught + counts.hamPassed, spam + ham) + " %, MCC " + mcc;
}

}  // namespace velmo
