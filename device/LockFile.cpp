#include "device/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
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
    // A FIFO planted at the path neither stalls the open nor is taken for the lock file.
    int fd = OpenRegularFile(native, O_RDWR | O_CREAT);
    if (fd < 0) return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
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
