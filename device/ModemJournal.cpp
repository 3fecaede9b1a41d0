#include "device/ModemJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "device/DeviceRoot.h"
#include "device/Files.h"
#include "device/ModemSms.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

// Finished entries that may pile up before the file is rewritten without them.
constexpr std::size_t FinishedBeforeCompaction = 256;

bool WriteAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

template <typename Number>
std::optional<Number> ParseNumber(const std::string& text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string TakenLine(const std::string& key, const std::string& modem, const std::string& message,
                      std::uint64_t delivered) {
    return "T" + key + "\t" + modem + "\t" + message + "\t" + std::to_string(delivered) + "\n";
}

std::string StoredLine(const std::string& key, std::int16_t blocked, std::int16_t silent) {
    return "S" + key + "\t" + std::to_string(blocked) + "\t" + std::to_string(silent) + "\n";
}

void SyncDirectory(const std::filesystem::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

ModemJournal::ModemJournal() {
    const std::filesystem::path root = EnsureDeviceRoot();
    path_ = (root / "modem-journal.txt").string();
    auto fail = [this](const std::string& what) {
        return std::runtime_error(path_ + ": " + what + ": " + std::strerror(errno));
    };
    // A compaction renames a new file over the path; a lock taken on the file it replaced
    // guards nothing, so the lock counts only on the file the path names after it is taken.
    for (int attempt = 0;; ++attempt) {
        fd_ = OpenRegularFile(path_, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC);
        if (fd_ < 0) throw fail("cannot be opened");
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            int error = errno;
            ::close(fd_);
            if (error == EWOULDBLOCK) {
                throw std::runtime_error("another sms listen serves this device (it holds " + path_ + ")");
            }
            errno = error;
            throw fail("cannot be locked");
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd_, &opened) == 0 && ::stat(path_.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev) {
            break;
        }
        ::close(fd_);
        if (attempt == 10) {
            errno = EAGAIN;
            throw fail("is replaced again and again");
        }
    }
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = ::pread(fd_, buffer, sizeof buffer, static_cast<off_t>(text.size()))) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd_);
            throw fail("cannot be read");
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        // A last line without its end was cut by a kill while it was written: it stands for nothing.
        if (end == std::string::npos) {
            ++finished_;
            break;
        }
        const char mark = text[start];
        std::vector<std::string> fields = TabFields(text.substr(start + 1, end - start - 1));
        start = end + 1;
        if (fields.size() < 3) continue;
        std::string key = fields[0] + "\t" + fields[1] + "\t";
        // An earlier version wrote the text itself where the digest stands now.
        key +=
            (mark == '+' || mark == '-') ? ModemSmsKey(fields[0], fields[1], fields[2]).substr(key.size()) : fields[2];
        if (mark == '-' || mark == 'D') {
            if (entries_.erase(key) != 0) ++finished_;
            ++finished_;
            continue;
        }
        Entry& entry = entries_[key];
        if (mark == 'T' && fields.size() == 6) {
            entry.modem = fields[3];
            entry.message = fields[4];
            entry.delivered = ParseNumber<std::uint64_t>(fields[5]).value_or(0);
        } else if (mark == 'S' && fields.size() == 5) {
            entry.step = Step::Stored;
            entry.blockedBefore = ParseNumber<std::int16_t>(fields[3]);
            entry.silentBefore = ParseNumber<std::int16_t>(fields[4]);
        } else if (mark == '+' || mark == 'F') {
            entry.step = Step::Filtered;
        }
    }
    if (finished_ > 0 && !Compact()) {
        int error = errno;
        ::close(fd_);
        errno = error;
        throw fail("cannot be rewritten");
    }
}

ModemJournal::~ModemJournal() {
    if (fd_ >= 0) ::close(fd_);
}

const ModemJournal::Entry* ModemJournal::Find(const std::string& key) const {
    auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : &found->second;
}

std::vector<std::string> ModemJournal::KeysOf(const std::string& content) const {
    std::vector<std::string> keys;
    for (auto it = entries_.lower_bound(content); it != entries_.end() && it->first.starts_with(content); ++it) {
        if (it->first.size() == content.size() || it->first[content.size()] == '@') keys.push_back(it->first);
    }
    return keys;
}

bool ModemJournal::Append(const std::string& line, bool sync) {
    return WriteAll(fd_, line) && (!sync || ::fdatasync(fd_) == 0);
}

bool ModemJournal::Taken(const std::string& key, const std::string& modem, const std::string& message,
                         std::uint64_t delivered) {
    entries_[key] = Entry{Step::Taken, modem, message, delivered, std::nullopt, std::nullopt};
    return Append(TakenLine(key, modem, message, delivered), true);
}

bool ModemJournal::Stored(const std::string& key, std::int16_t blockedBefore, std::int16_t silentBefore) {
    Entry& entry = entries_[key];
    entry.step = Step::Stored;
    entry.blockedBefore = blockedBefore;
    entry.silentBefore = silentBefore;
    return Append(StoredLine(key, blockedBefore, silentBefore), true);
}

bool ModemJournal::Filtered(const std::string& key) {
    entries_[key].step = Step::Filtered;
    return Append("F" + key + "\n", true);
}

bool ModemJournal::Deleted(const std::string& key) {
    if (entries_.erase(key) == 0) return true;
    finished_ += 4;  // at most its taken, stored, filtered and deleted lines
    if (!Append("D" + key + "\n", false)) return false;
    return finished_ < FinishedBeforeCompaction || Compact();
}

bool ModemJournal::Compact() {
    std::string kept;
    for (const auto& [key, entry] : entries_) {
        if (!entry.modem.empty()) kept += TakenLine(key, entry.modem, entry.message, entry.delivered);
        if (entry.blockedBefore && entry.silentBefore)
            kept += StoredLine(key, *entry.blockedBefore, *entry.silentBefore);
        if (entry.step == Step::Filtered) kept += "F" + key + "\n";
    }
    // Only the holder of the journal writes this name, so a temporary left by a kill is simply written over.
    const std::string temp = path_ + ".new";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !WriteAll(fd, kept) || ::fsync(fd) != 0 ||
        ::rename(temp.c_str(), path_.c_str()) != 0) {
        int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    SyncDirectory(std::filesystem::path(path_).parent_path());
    ::close(fd_);
    fd_ = fd;
    finished_ = 0;
    return true;
}

}  // namespace velmo::device
