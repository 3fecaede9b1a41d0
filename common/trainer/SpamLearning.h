#pragma once
// The device's spam model and what it learns from: the starting messages (SpamMessages.txt,
// installed with the model, replaced by "spam train") and the user's own labels
// (SpamLabels.txt), both lines "ham<TAB>text" or "spam<TAB>text" beside SpamModel.dat in
// "AppPath". After each new label the model is learnt again from both and SpamModel.dat is
// replaced whole, so the handler keeps reading the last complete model meanwhile.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/trainer/SpamTrainer.h"

namespace velmo {

inline constexpr const char16_t* SpamMessagesFileName = u"SpamMessages.txt";
inline constexpr const char16_t* SpamLabelsFileName = u"SpamLabels.txt";

// "AppPath" followed by fileName, as UTF-8 for the file calls; empty without "AppPath".
std::string DeviceSpamFile(const char16_t* fileName);

struct SpamTrainingReport {
    std::size_t startingMessages = 0;
    std::size_t labels = 0;
};

// Learns SpamModel.dat again from the starting messages and the user's labels, under the lock
// of the labels file so that two retrainings never lose a label. False, with why in error
// and the old model in place, when "AppPath" is missing, a file cannot be read or written,
// or there is nothing to learn from.
bool RetrainDeviceSpamModel(SpamTrainingReport& report, std::string& error);

// Makes messages the device's starting messages and learns the model from them and the labels.
bool TrainDeviceSpamModel(const std::vector<LabelledMessage>& messages, SpamTrainingReport& report, std::string& error);

// Adds the user's label for one message to SpamLabels.txt, then learns the model again.
bool LearnSpamLabel(bool spam, std::u16string_view text, SpamTrainingReport& report, std::string& error);

enum class UserLesson { NotLearning, Learnt, Failed };

// What the user does with a stranger's message teaches the model while "SpamAction" switches
// the filter on (with it off nothing is written): a message restored from the blocked list is
// ham (VelmoLight's "Restore", "blocked restore"); one the user moves to the blocked list is
// spam (the Messaging screen's "Move to blocked messages", "inbox block N").
UserLesson LearnFromUser(bool spam, std::u16string_view text, std::string& error);

}  // namespace velmo
