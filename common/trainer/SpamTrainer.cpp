#include "common/trainer/SpamTrainer.h"

#include <linear.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "device/Text.h"

namespace velmo {

namespace {

constexpr int kSpamLabel = 1;
constexpr int kHamLabel = -1;

void Quiet(const char*) {}

// One message as liblinear takes it: its buckets (from index 1) with their values, the bias
// feature and the terminator.
std::vector<feature_node> FeatureNodes(std::u16string_view text, const SpamFeatureShape& shape,
                                       std::vector<std::uint32_t>& buckets) {
    SpamFeatureBuckets(text, shape, buckets);
    std::vector<feature_node> nodes;
    nodes.reserve(buckets.size() + 2);
    const double value = buckets.empty() ? 0.0 : 1.0 / std::sqrt(static_cast<double>(buckets.size()));
    for (std::uint32_t bucket : buckets) nodes.push_back(feature_node{static_cast<int>(bucket) + 1, value});
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
                    std::string& error) {
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
    std::vector<std::uint32_t> buckets;
    for (const LabelledMessage& message : messages) {
        rows.push_back(FeatureNodes(message.text, options.shape, buckets));
        x.push_back(rows.back().data());
        y.push_back(message.spam ? kSpamLabel : kHamLabel);
    }
    const int features = 1 << options.shape.bucketBits;
    problem prob{};
    prob.l = static_cast<int>(messages.size());
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

SpamCounts CrossValidateSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options,
                                  std::size_t folds) {
    SpamCounts total;
    folds = std::max<std::size_t>(2, std::min(folds, messages.size()));
    for (std::size_t fold = 0; fold < folds; ++fold) {
        std::vector<LabelledMessage> learn;
        std::vector<LabelledMessage> held;
        for (std::size_t i = 0; i < messages.size(); ++i) (i % folds == fold ? held : learn).push_back(messages[i]);
        SpamModel model;
        std::string error;
        if (!TrainSpamModel(learn, options, model, error)) continue;
        const std::vector<std::uint8_t> bytes = SerializeSpamModel(model);
        const std::optional<SpamModelView> view = SpamModelView::Parse(bytes);
        if (!view) continue;
        const SpamCounts counts = EvaluateSpamModel(*view, held);
        total.spamCaught += counts.spamCaught;
        total.spamMissed += counts.spamMissed;
        total.hamBlocked += counts.hamBlocked;
        total.hamPassed += counts.hamPassed;
    }
    return total;
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
