#include "common/FileSwitch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "common/SettingsStore.h"
#include "device/Files.h"
#include "device/Text.h"

namespace velmo {

namespace {

constexpr const char* kHeader = "velmo import switch 1";
constexpr const char* kLockName = ".import-switch.lock";
// A journal names eleven settings and three files at most; anything longer is no journal of ours.
constexpr std::size_t kLongestJournal = 64 * 1024;

// Tests stop a switch after any step by naming it in VELMO_SWITCH_STOP: the process then
// ends as a kill would end it, with nothing cleaned up.
void StopPoint(const std::string& step) {
    const char* stop = std::getenv("VELMO_SWITCH_STOP");
    if (stop != nullptr && step == stop) std::raise(SIGKILL);
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string Hex(const std::vector<BYTE>& data) {
    std::string text;
    char pair[3];
    for (BYTE byte : data) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

bool FromHex(const std::string& text, std::vector<BYTE>& data) {
    if (text.size() % 2 != 0) return false;
    data.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) return false;
        data.push_back(static_cast<BYTE>(byte));
    }
    return true;
}

// A name inside the directory, as the journal keeps it.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\t') == std::string::npos && name.find('\n') == std::string::npos;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

struct Journal {
    std::vector<device::RegistryValue> settings;
    std::vector<SwitchedFile> files;  // names inside the directory
};

std::string Serialize(const Journal& journal) {
    std::string text = std::string(kHeader) + "\n";
    for (const auto& value : journal.settings) {
        text += "setting\t" + device::ToUtf8(value.name) + "\t" + std::to_string(value.type) + "\t" + Hex(value.data) +
                "\n";
    }
    for (const auto& file : journal.files) text += "rename\t" + file.prepared + "\t" + file.target + "\n";
    return text + "end\n";
}

bool Parse(const std::string& text, Journal& journal) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) return false;
    while (std::getline(in, line)) {
        if (line == "end") return true;
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields.size() == 4 && fields[0] == "setting") {
            device::RegistryValue value{device::ToUtf16(fields[1]), 0, {}};
            char* end = nullptr;
            value.type = static_cast<DWORD>(std::strtoul(fields[2].c_str(), &end, 10));
            if (fields[1].empty() || *end != '\0' || !FromHex(fields[3], value.data)) return false;
            journal.settings.push_back(std::move(value));
        } else if (fields.size() == 3 && fields[0] == "rename" && PlainName(fields[1]) && PlainName(fields[2])) {
            journal.files.push_back({fields[1], fields[2]});
        } else {
            return false;
        }
    }
    return false;  // cut short: no journal of a finished write
}

// The switch lock of the directory, held for the object's life; not held when the directory
// cannot be written.
class SwitchLock {
public:
    explicit SwitchLock(const std::string& dir)
        : file_{::open((dir + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666)}, lock_(file_.fd) {}
    bool Held() const { return lock_.Held(); }

private:
    // Declared before the lock, so that the lock is let go before its file is closed.
    struct File {
        int fd;
        ~File() {
            if (fd >= 0) ::close(fd);
        }
    } file_;
    device::FileLock lock_;
};

// Carries out the recorded switch; the caller holds the lock.
bool FinishLocked(const std::string& dir) {
    const std::string journalPath = dir + FileSwitchJournalName;
    std::uint64_t size = 0;
    const int fd = device::OpenRegularFile(journalPath, O_RDONLY, &size);
    if (fd < 0) return errno == ENOENT;
    std::string text(size < kLongestJournal ? size : kLongestJournal, '\0');
    const ssize_t got = ::read(fd, text.data(), text.size());
    ::close(fd);
    Journal journal;
    if (got != static_cast<ssize_t>(text.size()) || !Parse(text, journal)) {
        // Not one of ours, for ours are renamed into place whole: it records nothing to finish.
        ::unlink(journalPath.c_str());
        return true;
    }
    if (!journal.settings.empty()) {
        SettingsStore settings;
        if (!settings.WriteValues(journal.settings)) return false;
    }
    StopPoint("settings");
    int renamed = 0;
    for (const auto& file : journal.files) {
        // A prepared file that is gone was renamed by an earlier attempt.
        if (::rename((dir + file.prepared).c_str(), (dir + file.target).c_str()) != 0 && errno != ENOENT) {
            return false;
        }
        StopPoint("renamed-" + std::to_string(++renamed));
    }
    SyncDirectory(dir);
    ::unlink(journalPath.c_str());
    SyncDirectory(dir);
    return true;
}

}  // namespace

std::u16string DirectoryOf(std::u16string_view path) {
    const auto slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash + 1));
}

std::string SwitchPreparedPath(std::u16string_view target) {
    const std::string native = device::NativePath(target);
    const auto nameAt = native.rfind('/') + 1;
    return native.substr(0, nameAt) + "." + native.substr(nameAt) + ".switch";
}

SwitchResult SwitchFiles(std::u16string_view directory, const std::vector<device::RegistryValue>& settings,
                         const std::vector<SwitchedFile>& files) {
    const std::string dir = device::NativePath(directory);
    SwitchLock lock(dir);
    if (!lock.Held()) return SwitchResult::NotRecorded;
    Journal journal{settings, {}};
    for (const auto& file : files) journal.files.push_back({BaseName(file.prepared), BaseName(file.target)});
    const std::string text = Serialize(journal);
    StopPoint("prepared");
    // The prepared files' own renames reach the disk before the journal that names them.
    SyncDirectory(dir);
    if (!device::ReplaceFileAtomically(device::ToUtf16(dir + FileSwitchJournalName), text.data(), text.size())) {
        return SwitchResult::NotRecorded;
    }
    StopPoint("recorded");
    return FinishLocked(dir) ? SwitchResult::Finished : SwitchResult::Recorded;
}

bool FinishFileSwitch(std::u16string_view directory) {
    const std::string dir = device::NativePath(directory);
    struct stat info {};
    if (::stat((dir + FileSwitchJournalName).c_str(), &info) != 0 && errno == ENOENT) return true;
    SwitchLock lock(dir);
    return lock.Held() && FinishLocked(dir);
}

}  // namespace velmo
