#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/Types.h"
#include "common/trainer/SpamExplanation.h"
#include "common/trainer/SpamLearning.h"
#include "common/trainer/SpamTrainer.h"
#include "device/DeviceRoot.h"
#include "device/Files.h"
#include "device/Text.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

struct SpamActionName {
    const char* name;
    std::int32_t action;
};
constexpr SpamActionName SpamActionNames[] = {{"off", Accept}, {"dismiss", Dismiss}, {"silent", SilentAccept}};

// The model file's path; without "AppPath" it is set as VelmoLight's start sets it.
std::u16string ModelPath() {
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    if (!settings.AppFilePath(SpamModelFileName, path)) {
        std::filesystem::create_directories(device::ProgramDirectory());
        const std::u16string appPath = device::ToUtf16(device::ProgramDirectory().string() + "/");
        if (!settings.SetAppPath(appPath.c_str()) || !settings.AppFilePath(SpamModelFileName, path)) {
            throw AppPathNotSet(appPath);
        }
    }
    return path;
}

std::vector<LabelledMessage> ReadMessages(const std::string& file) {
    std::vector<LabelledMessage> messages;
    std::string error;
    if (std::filesystem::is_directory(file)) throw UsageError(file + " is a directory, not a file of messages");
    if (!std::filesystem::exists(file)) throw UsageError(file + " does not exist");
    if (!ReadLabelledMessages(file, messages, error)) throw UsageError(error);
    if (messages.empty()) throw UsageError(file + " holds no labelled messages");
    return messages;
}

// The device's model as the handler reads it, with the bytes it lives in.
struct LoadedModel {
    device::MappedFile file;
    std::optional<SpamModelView> view;
};

// Where the device's model is: under "AppPath", or where install put it before VelmoLight's
// first start set "AppPath", which a command that only reads does not set.
std::u16string InstalledModelPath() {
    SettingsStore settings;
    char16_t found[MAX_PATH] = {};
    if (settings.AppFilePath(SpamModelFileName, found)) return found;
    return device::ToUtf16((device::ProgramDirectory() / device::ToUtf8(SpamModelFileName)).string());
}

void LoadModel(LoadedModel& model) {
    const std::u16string path = InstalledModelPath();
    if (!model.file.Open(path, device::MappedFile::Mode::ReadOnly)) {
        throw std::runtime_error("the device has no spam model (" + device::ToUtf8(path) +
                                 "): run install or spam train FILE");
    }
    if (model.file.Data() != nullptr) {
        model.view = SpamModelView::Parse(std::span<const std::uint8_t>(model.file.Data(), model.file.Size()));
    }
    if (!model.view) {
        throw std::runtime_error(device::ToUtf8(path) +
                                 " is damaged or of an unknown kind: the handler judges no message spam with it; "
                                 "run spam train FILE");
    }
}

std::string ScoreText(double score) {
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", score);
    return text;
}

std::string TrainedText(const SpamTrainingReport& report) {
    return "learnt the spam model from " + std::to_string(report.startingMessages) + " starting messages and " +
           std::to_string(report.labels) + " of the user's labels into " + device::ToUtf8(ModelPath());
}

void SetAction(const std::string& name) {
    for (const auto& entry : SpamActionNames) {
        if (name != entry.name) continue;
        ModelPath();  // the handler finds the model through "AppPath", as VelmoLight's start sets it
        SettingsStore settings;
        if (!settings.SetSpamAction(entry.action)) throw std::runtime_error("cannot write \"SpamAction\"");
        std::cout << "\"SpamAction\" set to " << entry.action << " (" << entry.name << ")\n";
        // A user who just turned the filter on should not wonder why nothing is judged.
        if (entry.action != Accept && settings.GetActiveState() == Disabled) {
            std::cout << "filtering is off (Disabled): nothing is judged until it is on, in VelmoLight or with\n"
                         "  velmo-device registry set HKLM/Software/Apps/VelmoLight ActiveState --dword 0\n";
        }
        return;
    }
    throw UsageError("\"" + name + "\" is no spam action: off, dismiss, silent");
}

// The messages of every file, one after another.
std::vector<LabelledMessage> ReadAllMessages(const std::vector<std::string>& files) {
    std::vector<LabelledMessage> messages;
    for (const std::string& file : files) {
        std::vector<LabelledMessage> more = ReadMessages(file);
        messages.insert(messages.end(), more.begin(), more.end());
    }
    return messages;
}

void Train(const std::vector<std::string>& files, const std::string& output) {
    const std::vector<LabelledMessage> messages = ReadAllMessages(files);
    std::string error;
    if (!output.empty()) {
        SpamModel model;
        if (!TrainSpamModel(messages, SpamTrainingOptions{}, model, error) ||
            !WriteSpamModel(device::ToUtf16(output), model)) {
            throw std::runtime_error(error.empty() ? "cannot write " + output : error);
        }
        const std::string names = SpamNamesPath(output);
        if (!WriteSpamNames(names, model, messages)) throw std::runtime_error("cannot write " + names);
        std::cout << "learnt a spam model from " << messages.size() << " messages into " << output << " (names in "
                  << names << ")\n";
        return;
    }
    ModelPath();
    SpamTrainingReport report;
    if (!TrainDeviceSpamModel(messages, report, error)) throw std::runtime_error(error);
    std::cout << TrainedText(report) << "\n";
}

void Score(const std::string& text) {
    LoadedModel model;
    LoadModel(model);
    const std::u16string message = device::ToUtf16(text);
    const SpamVerdict verdict = model.view->Judge(message);
    std::cout << "spam score " << ScoreText(verdict.score) << " (threshold " << ScoreText(model.view->Threshold())
              << "): "
              << (verdict.spam       ? "spam"
                  : verdict.heldBack ? "not spam: it carries a one-time code, which the code rule holds back"
                                     : "not spam")
              << "\n";
    if (const std::string reasons = SpamReasonsFor(message, 3); !reasons.empty()) {
        std::cout << "weighed most towards spam: " << reasons << "\n";
    }
}

void Evaluate(const std::string& file) {
    const std::vector<LabelledMessage> messages = ReadMessages(file);
    LoadedModel model;
    LoadModel(model);
    std::cout << messages.size() << " messages of " << file << " judged by the device's model\n"
              << SpamCountsLine(EvaluateSpamModel(*model.view, messages)) << "\n";
}

void CrossValidate(const std::vector<std::string>& files, std::size_t folds, const std::vector<double>& thresholds) {
    std::vector<LabelledMessage> messages;
    std::vector<std::size_t> ends;
    for (const std::string& file : files) {
        std::vector<LabelledMessage> more = ReadMessages(file);
        messages.insert(messages.end(), more.begin(), more.end());
        ends.push_back(messages.size());
    }
    const SpamTrainingOptions options;
    std::cout << folds << "-fold cross-validation on " << messages.size()
              << " messages, those of one template in one fold\n"
              << std::flush;
    const std::vector<double> scores = CrossValidateSpamScores(messages, options, folds);
    std::vector<double> at = thresholds;
    if (at.empty()) at.push_back(options.threshold);
    for (double threshold : at) {
        std::cout << "at threshold " << ScoreText(threshold) << ":\n";
        std::size_t begin = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::cout << "  " << files[i] << ": "
                      << SpamCountsLine(CountSpamScores(messages, scores, threshold, begin, ends[i])) << "\n";
            begin = ends[i];
        }
        if (files.size() > 1) {
            std::cout << "  all: " << SpamCountsLine(CountSpamScores(messages, scores, threshold, 0, messages.size()))
                      << "\n";
        }
    }
}

void Replay(const std::string& file) {
    const std::vector<LabelledMessage> replayed = ReadMessages(file);
    std::vector<LabelledMessage> starting;
    std::string error;
    const std::string startingFile = device::ToUtf8(InstalledModelPath());
    const std::string messagesFile =
        (std::filesystem::path(startingFile).parent_path() / device::ToUtf8(SpamMessagesFileName)).string();
    if (!ReadLabelledMessages(messagesFile, starting, error)) {
        throw std::runtime_error("the device has no starting messages (" + error + "): run install");
    }
    std::cout << "replaying the " << replayed.size() << " messages of " << file
              << " in a fixed shuffled order, from a model learnt from the device's " << starting.size()
              << " starting messages; each mistake is learnt as the user's correction\n"
              << std::flush;
    const SpamReplay replay = ReplaySpamMessages(starting, replayed, SpamTrainingOptions{});
    std::cout << "first half: " << replay.firstCorrections << " corrections in " << replay.firstHalf
              << " messages\nsecond half: " << replay.secondCorrections << " corrections in "
              << replayed.size() - replay.firstHalf << " messages\n";
}

void Learn(const std::string& label, const std::string& text) {
    if (label != "spam" && label != "ham") throw UsageError("\"" + label + "\" is no label: spam, ham");
    ModelPath();
    SpamTrainingReport report;
    std::string error;
    if (!LearnSpamLabel(label == "spam", device::ToUtf16(text), report, error)) throw std::runtime_error(error);
    std::cout << "labelled " << label << "; " << TrainedText(report) << "\n";
}

}  // namespace

std::string SpamReasonsFor(std::u16string_view text, std::size_t count) {
    return SpamReasonsText(ExplainSpamWithFile(device::ToUtf8(InstalledModelPath()), text, count));
}

void AddSpamCommands(CLI::App& app) {
    CLI::App* spam =
        app.add_subcommand("spam", "The spam filter for strangers' messages: its action, model and lessons");
    spam->require_subcommand(1);

    auto action = std::make_shared<std::string>();
    spam->add_subcommand("action", "Set \"SpamAction\": what a stranger's message judged spam gets")
        ->callback([action] { SetAction(*action); })
        ->add_option("ACTION", *action, "off, dismiss or silent")
        ->required();

    auto trainFiles = std::make_shared<std::vector<std::string>>();
    auto output = std::make_shared<std::string>();
    CLI::App* train = spam->add_subcommand(
        "train",
        "Learn the device's model from the FILEs (lines ham<TAB>text or spam<TAB>text), which become its "
        "starting messages, and the user's labels");
    train->add_option("FILE", *trainFiles, "the labelled messages, one file or more")->required();
    train->add_option("--output", *output, "write the model learnt from FILE alone to this file, not to the device");
    train->callback([trainFiles, output] { Train(*trainFiles, *output); });

    auto text = std::make_shared<std::string>();
    spam->add_subcommand("score", "The device's model's score and verdict for TEXT")
        ->callback([text] { Score(*text); })
        ->add_option("TEXT", *text, "the message's text")
        ->required();

    auto evaluateFile = std::make_shared<std::string>();
    spam->add_subcommand("evaluate", "How the device's model judges the labelled messages of FILE")
        ->callback([evaluateFile] { Evaluate(*evaluateFile); })
        ->add_option("FILE", *evaluateFile, "the labelled messages")
        ->required();

    auto crossFiles = std::make_shared<std::vector<std::string>>();
    auto folds = std::make_shared<std::size_t>(10);
    auto thresholds = std::make_shared<std::vector<double>>();
    CLI::App* cross = spam->add_subcommand(
        "crossvalidate",
        "How models learnt as the device's is judge the FILEs' messages, each by a model learnt without it");
    cross->add_option("FILE", *crossFiles, "the labelled messages, one file or more, counted apart")->required();
    cross->add_option("--folds", *folds, "parts of the messages, each judged by a model learnt from the others")
        ->check(CLI::Range(2, 100));
    cross->add_option("--threshold", *thresholds, "count at these thresholds, not the model's (repeatable)")
        ->check(CLI::Range(0.001, 0.999));
    cross->callback([crossFiles, folds, thresholds] { CrossValidate(*crossFiles, *folds, *thresholds); });

    auto replayFile = std::make_shared<std::string>();
    spam->add_subcommand("replay", "How many corrections a user would make over FILE's messages, learning each mistake")
        ->callback([replayFile] { Replay(*replayFile); })
        ->add_option("FILE", *replayFile, "the labelled messages")
        ->required();

    auto label = std::make_shared<std::string>();
    auto learnText = std::make_shared<std::string>();
    CLI::App* learn = spam->add_subcommand("learn", "Add the user's label for one message and learn the model again");
    learn->add_option("LABEL", *label, "spam or ham")->required();
    learn->add_option("TEXT", *learnText, "the message's text")->required();
    learn->callback([label, learnText] { Learn(*label, *learnText); });
}

}  // namespace velmo::cli
