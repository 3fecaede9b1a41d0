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
    double cost = 32.0;
    float threshold = 0.6F;
};

// The defaults above are what the device's model is trained with: the shape, the cost and the
// threshold were chosen by ten-fold cross-validation on the starting messages, as the ones that
// judged the fewest ham spam while catching the most spam.

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
bool TrainSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options, SpamModel& model,
                    std::string& error);

struct SpamCounts {
    std::size_t spamCaught = 0;
    std::size_t spamMissed = 0;
    std::size_t hamBlocked = 0;
    std::size_t hamPassed = 0;
};

// The counts of a model on labelled messages.
SpamCounts EvaluateSpamModel(const SpamModelView& model, const std::vector<LabelledMessage>& messages);

// The counts of folds-fold cross-validation: each message judged by a model learnt without
// its fold. Folds take every folds-th message, so the file's order decides nothing else.
SpamCounts CrossValidateSpamModel(const std::vector<LabelledMessage>& messages, const SpamTrainingOptions& options,
                                  std::size_t folds);

// "caught N of M spam (X %), blocked N of M ham (Y %), accuracy Z %, MCC W".
std::string SpamCountsLine(const SpamCounts& counts);

}  // namespace velmo
