#include "device/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "device/Files.h"

namespace velmo::device {

LockFile::LockFile(LockFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
    if (this != &other) {
        Unlock();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool LockFile::Lock(std::u16string_view path) {
    Unlock();
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
    std::string native = NativePath(path);
    // O_NONBLOCK keeps a FIFO planted at the path from stalling the open; flock then
    // refuses anything that is no regular file.
    int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    struct stat info {};
    bool held = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (held) {
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        held = rc == 0;
    }
    if (!held) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void LockFile::Unlock() {
    // Closing the only descriptor of the open file releases its flock.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace velmo::device
