#include "common/trainer/SpamLearning.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/trainer/SpamExplanation.h"
#include "device/Files.h"
#include "device/Text.h"

namespace velmo {

namespace {

// The labels file held open and locked for one change of the model.
class LabelsLock {
public:
    explicit LabelsLock(const std::string& path)
        : fd_(device::OpenRegularFile(path, O_RDWR | O_CREAT | O_CLOEXEC)), lock_(fd_) {}
    ~LabelsLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    LabelsLock(const LabelsLock&) = delete;
    LabelsLock& operator=(const LabelsLock&) = delete;
    bool Held() const { return fd_ >= 0 && lock_.Held(); }
    int Descriptor() const { return fd_; }

private:
    int fd_;
    device::FileLock lock_;
};

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return ::fsync(fd) == 0;
}

// The model learnt from the starting messages and the labels, written over SpamModel.dat; the
// caller holds the labels' lock.
bool RetrainLocked(SpamTrainingReport& report, std::string& error) {
    const std::string starting = DeviceSpamFile(SpamMessagesFileName);
    const std::string labels = DeviceSpamFile(SpamLabelsFileName);
    std::vector<LabelledMessage> messages;
    if (!ReadLabelledMessages(starting, messages, error)) return false;
    report.startingMessages = messages.size();
    if (!ReadLabelledMessages(labels, messages, error)) return false;
    report.labels = messages.size() - report.startingMessages;
    SpamModel model;
    if (!TrainSpamModel(messages, SpamTrainingOptions{}, model, error, report.startingMessages)) return false;
    const std::string path = DeviceSpamFile(SpamModelFileName);
    if (!WriteSpamModel(device::ToUtf16(path), model)) {
        error = "cannot write " + path;
        return false;
    }
    // The names only explain verdicts; a model without them still judges.
    WriteSpamNames(SpamNamesPath(path), model, messages);
    return true;
}

}  // namespace

std::string DeviceSpamFile(const char16_t* fileName) {
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    if (!settings.AppFilePath(fileName, path)) return {};
    return device::NativePath(path);
}

bool RetrainDeviceSpamModel(SpamTrainingReport& report, std::string& error) {
    const std::string labels = DeviceSpamFile(SpamLabelsFileName);
    if (labels.empty()) {
        error = "\"AppPath\" is not set: install the deliverables first";
        return false;
    }
    LabelsLock lock(labels);
    if (!lock.Held()) {
        error = "cannot open " + labels + ": " + std::strerror(errno);
        return false;
    }
    return RetrainLocked(report, error);
}

bool TrainDeviceSpamModel(const std::vector<LabelledMessage>& messages, SpamTrainingReport& report,
                          std::string& error) {
    const std::string labels = DeviceSpamFile(SpamLabelsFileName);
    if (labels.empty()) {
        error = "\"AppPath\" is not set: install the deliverables first";
        return false;
    }
    if (messages.empty()) {
        error = "there are no labelled messages to learn from";
        return false;
    }
    LabelsLock lock(labels);
    if (!lock.Held()) {
        error = "cannot open " + labels + ": " + std::strerror(errno);
        return false;
    }
    std::string bytes;
    for (const LabelledMessage& message : messages) bytes += LabelledMessageLine(message);
    const std::string starting = DeviceSpamFile(SpamMessagesFileName);
    if (!device::ReplaceFileAtomically(device::ToUtf16(starting), bytes.data(), bytes.size())) {
        error = "cannot write " + starting;
        return false;
    }
    return RetrainLocked(report, error);
}

bool LearnSpamLabel(bool spam, std::u16string_view text, SpamTrainingReport& report, std::string& error) {
    const std::string labels = DeviceSpamFile(SpamLabelsFileName);
    if (labels.empty()) {
        error = "\"AppPath\" is not set: install the deliverables first";
        return false;
    }
    LabelsLock lock(labels);
    if (!lock.Held() || ::lseek(lock.Descriptor(), 0, SEEK_END) < 0 ||
        !WriteAll(lock.Descriptor(), LabelledMessageLine(LabelledMessage{spam, std::u16string(text)}))) {
        error = "cannot write " + labels + ": " + std::strerror(errno);
        return false;
    }
    return RetrainLocked(report, error);
}

UserLesson LearnFromUser(bool spam, std::u16string_view text, std::string& error) {
    SettingsStore settings;
    if (settings.GetSpamAction() == Accept) return UserLesson::NotLearning;
    SpamTrainingReport report;
    return LearnSpamLabel(spam, text, report, error) ? UserLesson::Learnt : UserLesson::Failed;
}

}  // namespace velmo
