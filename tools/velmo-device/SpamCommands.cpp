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

void LoadModel(LoadedModel& model) {
    SettingsStore settings;
    char16_t found[MAX_PATH] = {};
    if (!settings.AppFilePath(SpamModelFileName, found)) {
        throw std::runtime_error("the device has no spam model (\"AppPath\" is not set): run install");
    }
    const std::u16string path = found;
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

void Train(const std::string& file, const std::string& output) {
    const std::vector<LabelledMessage> messages = ReadMessages(file);
    std::string error;
    if (!output.empty()) {
        SpamModel model;
        if (!TrainSpamModel(messages, SpamTrainingOptions{}, model, error) ||
            !WriteSpamModel(device::ToUtf16(output), model)) {
            throw std::runtime_error(error.empty() ? "cannot write " + output : error);
        }
        std::cout << "learnt a spam model from " << messages.size() << " messages into " << output << "\n";
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
    const SpamVerdict verdict = model.view->Judge(device::ToUtf16(text));
    std::cout << "spam score " << ScoreText(verdict.score) << " (threshold " << ScoreText(model.view->Threshold())
              << "): " << (verdict.spam ? "spam" : "not spam") << "\n";
}

void Evaluate(const std::string& file) {
    const std::vector<LabelledMessage> messages = ReadMessages(file);
    LoadedModel model;
    LoadModel(model);
    std::cout << messages.size() << " messages of " << file << " judged by the device's model\n"
              << SpamCountsLine(EvaluateSpamModel(*model.view, messages)) << "\n";
}

void CrossValidate(const std::string& file, std::size_t folds) {
    const std::vector<LabelledMessage> messages = ReadMessages(file);
    std::cout << folds << "-fold cross-validation on the " << messages.size() << " messages of " << file << "\n"
              << SpamCountsLine(CrossValidateSpamModel(messages, SpamTrainingOptions{}, folds)) << "\n";
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

void AddSpamCommands(CLI::App& app) {
    CLI::App* spam =
        app.add_subcommand("spam", "The spam filter for strangers' messages: its action, model and lessons");
    spam->require_subcommand(1);

    auto action = std::make_shared<std::string>();
    spam->add_subcommand("action", "Set \"SpamAction\": what a stranger's message judged spam gets")
        ->callback([action] { SetAction(*action); })
        ->add_option("ACTION", *action, "off, dismiss or silent")
        ->required();

    auto trainFile = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    CLI::App* train = spam->add_subcommand(
        "train",
        "Learn the device's model from FILE (lines ham<TAB>text or spam<TAB>text), which becomes its "
        "starting messages, and the user's labels");
    train->add_option("FILE", *trainFile, "the labelled messages")->required();
    train->add_option("--output", *output, "write the model learnt from FILE alone to this file, not to the device");
    train->callback([trainFile, output] { Train(*trainFile, *output); });

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

    auto crossFile = std::make_shared<std::string>();
    auto folds = std::make_shared<std::size_t>(10);
    CLI::App* cross = spam->add_subcommand(
        "crossvalidate",
        "How models learnt as the device's is judge FILE's messages, each by a model learnt without it");
    cross->add_option("FILE", *crossFile, "the labelled messages")->required();
    cross->add_option("--folds", *folds, "parts of FILE, each judged by a model learnt from the others")
        ->check(CLI::Range(2, 100));
    cross->callback([crossFile, folds] { CrossValidate(*crossFile, *folds); });

    auto label = std::make_shared<std::string>();
    auto learnText = std::make_shared<std::string>();
    CLI::App* learn = spam->add_subcommand("learn", "Add the user's label for one message and learn the model again");
    learn->add_option("LABEL", *label, "spam or ham")->required();
    learn->add_option("TEXT", *learnText, "the message's text")->required();
    learn->callback([label, learnText] { Learn(*label, *learnText); });
}

}  // namespace velmo::cli
