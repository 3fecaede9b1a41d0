#include "device/RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "device/Files.h"

namespace velmo::device {

RecordFile::~RecordFile() { Close(); }

bool RecordFile::Open(std::u16string_view path) {
    Close();
    // A zero unit would cut the name short and open another file.
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
    std::string native = NativePath(path);
    // A FIFO planted at the path neither stalls the open nor is taken for the file.
    int fd = OpenRegularFile(native, O_RDWR | O_CREAT);
    if (fd < 0) return false;
    fd_ = fd;
    path_ = std::move(native);
    return true;
}

void RecordFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool RecordFile::Size(std::uint64_t& size) const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::size_t RecordFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
    if (fd_ < 0) return 0;
    auto* bytes = static_cast<std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool RecordFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (fd_ < 0) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RecordFile::Truncate(std::uint64_t size) { return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool RecordFile::Flush() { return fd_ >= 0 && ::fdatasync(fd_) == 0; }

bool RecordFile::WasReplaced() const {
    if (fd_ < 0) return false;
    struct stat held {};
    struct stat named {};
    if (::fstat(fd_, &held) != 0 || ::stat(path_.c_str(), &named) != 0) return true;
    return held.st_dev != named.st_dev || held.st_ino != named.st_ino;
}

}  // namespace velmo::device
