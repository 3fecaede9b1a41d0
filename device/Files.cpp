#include "device/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "device/Text.h"

namespace velmo::device {

namespace {

// A path that POSIX can take whole: not empty and without a zero unit, which would
// silently cut the name short.
std::optional<std::string> PosixPath(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return NativePath(path);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Makes a finished rename durable; the replacement is already visible when this fails.
void SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Creates a new, empty temporary file next to the target; the name is unguessable so
// that two writers never share one.
int CreateTemporary(const std::filesystem::path& dir, const std::string& name, std::string& tempPath) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08x%08x", random(), random());
        tempPath = (dir / ("." + name + suffix)).string();
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

MappedFile::~MappedFile() { Close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mode_(other.mode_) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mode_ = other.mode_;
    }
    return *this;
}

bool MappedFile::Open(std::u16string_view path, Mode mode) {
    Close();
    auto native = PosixPath(path);
    if (!native) return false;
    int fd = ::open(native->c_str(), (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    auto size = static_cast<std::size_t>(info.st_size);
    void* data = nullptr;
    if (size > 0) {
        int protection = mode == Mode::ReadWrite ? PROT_READ | PROT_WRITE : PROT_READ;
        data = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            ::close(fd);
            return false;
        }
    }
    fd_ = fd;
    data_ = static_cast<std::uint8_t*>(data);
    size_ = size;
    mode_ = mode;
    return true;
}

void MappedFile::Close() {
    if (data_ != nullptr) ::munmap(data_, size_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    data_ = nullptr;
    size_ = 0;
}

bool MappedFile::Flush(std::size_t offset, std::size_t length) {
    if (!Writable() || offset > size_ || length > size_ - offset) return false;
    if (length > 0) {
        // msync takes a page-aligned start, so the range grows down to its first page.
        auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        std::size_t start = offset - offset % page;
        if (::msync(data_ + start, offset + length - start, MS_SYNC) != 0) return false;
    }
    return ::fsync(fd_) == 0;
}

namespace {

// Writes the temporary file with write, makes it durable and renames it over path.
template <typename Write>
bool ReplaceWith(std::u16string_view path, Write&& write) {
    auto native = PosixPath(path);
    if (!native) return false;
    std::filesystem::path target(*native);
    std::string name = target.filename().string();
    if (name.empty()) return false;
    std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");

    std::string tempPath;
    int fd = CreateTemporary(dir, name, tempPath);
    if (fd < 0) return false;
    bool ok = write(fd) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempPath.c_str(), native->c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    SyncDirectory(dir.string());
    return true;
}

// Copies length bytes of source from offset to the current position of target.
bool CopyRange(int source, std::uint64_t offset, std::uint64_t length, int target) {
    auto from = static_cast<off_t>(offset);
    bool kernelCopy = true;
    std::vector<std::uint8_t> buffer;
    while (length > 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30));
        ssize_t copied = -1;
        if (kernelCopy) {
            copied = ::copy_file_range(source, &from, target, nullptr, chunk, 0);
            if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false;  // another file system, or a kernel without it: through memory
                continue;
            }
        } else {
            if (buffer.empty()) buffer.resize(1u << 20);
            copied = ::pread(source, buffer.data(), std::min(chunk, buffer.size()), from);
            if (copied > 0 && !WriteAll(target, buffer.data(), static_cast<std::size_t>(copied))) return false;
            if (copied > 0) from += copied;
        }
        if (copied < 0 && errno == EINTR) continue;
        if (copied <= 0) return false;  // an error, or the source ends early
        length -= static_cast<std::uint64_t>(copied);
    }
    return true;
}

}  // namespace

bool ReplaceFileAtomically(std::u16string_view path, const void* data, std::size_t size) {
    return ReplaceWith(path, [&](int fd) { return WriteAll(fd, data, size); });
}

bool ReplaceFileAtomically(std::u16string_view path, const void* head, std::size_t headSize, int source,
                           std::uint64_t offset, std::uint64_t length) {
    return ReplaceWith(path, [&](int fd) { return WriteAll(fd, head, headSize) && CopyRange(source, offset, length, fd); });
}

FileLock::FileLock(int fd) : fd_(fd), held_(false) {
    if (fd_ < 0) return;
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    held_ = rc == 0;
}

FileLock::~FileLock() {
    if (held_) ::flock(fd_, LOCK_UN);
}

std::string NativePath(std::u16string_view path) { return ToUtf8(path); }

}  // namespace velmo::device
