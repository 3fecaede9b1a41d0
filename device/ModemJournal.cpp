#include "device/ModemJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "device/DeviceRoot.h"
#include "device/Files.h"

namespace velmo::device {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

ModemJournal::ModemJournal() {
    const std::string path = (EnsureDeviceRoot() / "modem-journal.txt").string();
    auto fail = [&path](const std::string& what) {
        return std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
    };
    fd_ = OpenRegularFile(path, O_RDWR | O_CREAT | O_APPEND);
    if (fd_ < 0) throw fail("cannot be opened");
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd_);
        if (error == EWOULDBLOCK) {
            throw std::runtime_error("another sms listen serves this device (it holds " + path + ")");
        }
        errno = error;
        throw fail("cannot be locked");
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
    bool deletions = false;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        // A last line without its end was cut by a kill while it was written: it stands for nothing.
        if (end == std::string::npos) break;
        std::string key = text.substr(start + 1, end - start - 1);
        if (text[start] == '+') pending_.insert(key);
        if (text[start] == '-') {
            pending_.erase(key);
            deletions = true;
        }
        start = end + 1;
    }
    // Only what is still pending is kept, so that the journal stays as short as the modem's backlog.
    if (deletions || (!text.empty() && text.back() != '\n')) {
        std::string kept;
        for (const auto& key : pending_) kept += "+" + key + "\n";
        if (::ftruncate(fd_, 0) != 0 || !WriteAll(fd_, kept)) {
            ::close(fd_);
            throw fail("cannot be rewritten");
        }
    }
}

ModemJournal::~ModemJournal() {
    if (fd_ >= 0) ::close(fd_);
}

bool ModemJournal::Append(char mark, const std::string& key) {
    return WriteAll(fd_, std::string(1, mark) + key + "\n");
}

bool ModemJournal::Stored(const std::string& key) {
    pending_.insert(key);
    return Append('+', key);
}

bool ModemJournal::Deleted(const std::string& key) {
    pending_.erase(key);
    return Append('-', key);
}

}  // namespace velmo::device
