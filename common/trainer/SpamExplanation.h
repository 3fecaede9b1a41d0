#pragma once
// Why the spam model judged a message as it did: the features that weighed most towards spam,
// named as a person reads them. The names live in a small side file that the trainer writes
// beside the model (SpamModel.names beside SpamModel.dat); only velmo-device and VelmoLight
// read it, the handler never needs it. UTF-8 lines:
//
//   VL_SPAM_NAMES 1 CHECK      CHECK: the model file's check, 8 hex digits, so that names
//                              written for another model are never shown
//   BUCKET<TAB>NAME            one line per named bucket, ascending
//
// The names are those of the buckets that weigh most towards spam, each named by the feature
// of the starting messages that falls into it (a lure's mark before a word, a word before an
// n-gram).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/SpamModelFile.h"
#include "common/trainer/SpamTrainer.h"

namespace velmo {

// How many buckets the side file names at most.
inline constexpr std::size_t MaxSpamNames = 3000;

// The side file's path for a model file's path: its extension replaced by ".names".
std::string SpamNamesPath(const std::string& modelPath);

// The side file's bytes for model, learnt from messages.
std::string SpamNamesText(const SpamModel& model, const std::vector<LabelledMessage>& messages);

// Writes SpamNamesText atomically to path; false when it cannot.
bool WriteSpamNames(const std::string& path, const SpamModel& model, const std::vector<LabelledMessage>& messages);

struct SpamNames {
    std::uint32_t check = 0;
    std::unordered_map<std::uint32_t, std::u16string> names;
};

// The side file at path; none when it is missing or not of this form.
std::optional<SpamNames> ReadSpamNames(const std::string& path);

struct SpamReason {
    std::u16string name;
    double weight;  // what the feature adds to the model's margin
};

// The named features of text that weigh most towards spam, heaviest first, at most count;
// none when the names belong to another model.
std::vector<SpamReason> ExplainSpam(const SpamModelView& model, const SpamNames& names, std::u16string_view text,
                                    std::size_t count = 3);

// ExplainSpam with the model file at modelPath and the names beside it; none when either is
// missing, damaged or they do not belong together.
std::vector<SpamReason> ExplainSpamWithFile(const std::string& modelPath, std::u16string_view text,
                                            std::size_t count = 3);

// "\"claim now\" +2.1, link to a .top host +1.8, \"£\" +0.9".
std::string SpamReasonsText(const std::vector<SpamReason>& reasons);

}  // namespace velmo
