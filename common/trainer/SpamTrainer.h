#pragma once
// Learning the spam model from labelled messages with liblinear (logistic regression), and
// measuring how well a model sorts messages. Only velmo-device and VelmoLight link this: the
// handler just scores with the file it writes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/SpamModelFile.h"

namespace velmo {

struct LabelledMessage {
    bool spam = false;
    std::u16string text;
};

// How the model is learnt: its features, liblinear's cost C, and the threshold it is given.
struct SpamTrainingOptions {
    SpamFeatureShape shape;
    double cost = 128.0;
    float threshold = 0.95F;
    std::size_t labelCopies = 5;  // how many times each of the user's labels is learnt
};

// The defaults above are what the device's model is trained with: the shape, the marks' scale
// (SpamFeatures.h), the cost and the threshold were chosen by ten-fold cross-validation over
// both files of starting messages, templates kept within one fold, as the ones that blocked the
// fewest of today's ham while catching most spam, and at most 1 in 1,000 of the 2011 ham.
// The labels' copies were chosen by replaying today's file on a device that started from the
// 2011 file alone.

// The messages of lines "ham<TAB>text" or "spam<TAB>text" (UTF-8, split at the first tab,
// "\r\n" or "\n" line ends); empty lines are skipped. False, with the line named in error,
// for any other line.
bool ParseLabelledMessages(std::string_view utf8, std::vector<LabelledMessage>& messages, std::string& error);
// The same, read from the file at path (UTF-8 path); a missing file is an error.
bool ReadLabelledMessages(const std::string& path, std::vector<LabelledMessage>& messages, std::string& error);
// The line of a message in that form; white space that would break the line becomes a space,
// which the features see alike.
std::string LabelledMessageLine(const LabelledMessage& message);

// A model learnt from messages; false, with why in error, when there is nothing to learn from.
// The messages from firstLabel on are the user's labels, each learnt the options' labelCopies
// times so that a correction outweighs the starting messages that taught the mistake.
bool TrainSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options, SpamModel& model,
                    std::string& error, std::size_t firstLabel = static_cast<std::size_t>(-1));

struct SpamCounts {
    std::size_t spamCaught = 0;
    std::size_t spamMissed = 0;
    std::size_t hamBlocked = 0;
    std::size_t hamPassed = 0;
};

// The counts of a model on labelled messages.
SpamCounts EvaluateSpamModel(const SpamModelView& model, const std::vector<LabelledMessage>& messages);

// Which of folds parts a message falls into for cross-validation: messages that share their
// first words (numbers, links and addresses aside) share a part, so that no model is judged on
// a copy of a template it learnt, which would flatter it.
std::uint32_t SpamTemplateFold(std::u16string_view text, std::size_t folds);

// The verdict of a model not yet written to a file (its shape may leave kinds out).
SpamVerdict JudgeWithSpamModel(const SpamModel& model, std::u16string_view text);

// The score of folds-fold cross-validation for each message: each judged by a model learnt
// without its part (see SpamTemplateFold).
std::vector<double> CrossValidateSpamScores(const std::vector<LabelledMessage>& messages,
                                            const SpamTrainingOptions& options, std::size_t folds);

// The counts of messages [begin, end) judged spam at threshold by their scores, with the
// one-time-code rule holding codes back.
SpamCounts CountSpamScores(const std::vector<LabelledMessage>& messages, const std::vector<double>& scores,
                           double threshold, std::size_t begin, std::size_t end);

// The counts of folds-fold cross-validation at the options' threshold.
SpamCounts CrossValidateSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options,
                                  std::size_t folds);

struct SpamReplay {
    std::size_t firstHalf = 0;  // messages in the first half, the rest in the second
    std::size_t firstCorrections = 0;
    std::size_t secondCorrections = 0;
};

// A user who corrects every mistake as the messages come: starting from a model learnt from
// starting, each message of replayed is judged in a fixed shuffled order, and each one judged
// wrongly is learnt with its true label (a restored ham, a missed spam moved to the blocked
// list) before the next comes.
SpamReplay ReplaySpamMessages(const std::vector<LabelledMessage>& starting, std::vector<LabelledMessage> replayed,
                              const SpamTrainingOptions& options);

// "caught N of M spam (X %), blocked N of M ham (Y %), accuracy Z %, MCC W".
std::string SpamCountsLine(const SpamCounts& counts);

}  // namespace velmo
