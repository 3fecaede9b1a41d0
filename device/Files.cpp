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

std::string TemporaryPrefix(const std::string& name) { return "." + name + ".tmp-"; }

// Removes the temporaries of the target named name that no live writer holds. The lock is
// taken before the name is removed, and the name must still be the locked file, so a
// writer's temporary is never removed under it.
void RemoveStaleTemporaries(const std::filesystem::path& dir, const std::string& name) {
    std::string prefix = TemporaryPrefix(name);
    std::error_code ec;
    std::filesystem::directory_iterator entries(dir, ec);
    if (ec) return;
    for (const auto& entry : entries) {
        std::string entryName = entry.path().filename().string();
        if (entryName.compare(0, prefix.size(), prefix) != 0) continue;
        std::string path = entry.path().string();
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
}

// Creates a new, empty temporary file next to the target and locks it; the name is
// unguessable so that two writers never share one. A temporary removed by a cleaner in
// the moment between its creation and its lock is created again.
int CreateTemporary(const std::filesystem::path& dir, const std::string& name, std::string& tempPath) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, "%ld-%08x%08x", static_cast<long>(::getpid()), random(), random());
        tempPath = (dir / (TemporaryPrefix(name) + suffix)).string();
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return fd;
        }
        struct stat info {};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0) return fd;
        ::close(fd);
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
    auto fail = [this](int fd, int error) {
        if (fd >= 0) ::close(fd);
        error_ = error;
        return false;
    };
    auto native = PosixPath(path);
    if (!native) return fail(-1, EINVAL);
    std::uint64_t fileSize = 0;
    int fd = OpenRegularFile(*native, mode == Mode::ReadWrite ? O_RDWR : O_RDONLY, &fileSize);
    if (fd < 0) return fail(-1, errno);
    auto size = static_cast<std::size_t>(fileSize);
    void* data = nullptr;
    if (size > 0) {
        int protection = mode == Mode::ReadWrite ? PROT_READ | PROT_WRITE : PROT_READ;
        data = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) return fail(fd, errno);
    }
    error_ = 0;
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

bool MappedFile::IsFileAt(std::u16string_view path) const {
    auto native = PosixPath(path);
    struct stat mapped {};
    struct stat named {};
    if (fd_ < 0 || !native || ::fstat(fd_, &mapped) != 0 || ::stat(native->c_str(), &named) != 0) return false;
    return mapped.st_dev == named.st_dev && mapped.st_ino == named.st_ino;
}

bool ReadFileStamp(std::u16string_view path, FileStamp& stamp) {
    auto native = PosixPath(path);
    struct stat named {};
    if (!native || ::stat(native->c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
    stamp = FileStamp{static_cast<std::uint64_t>(named.st_dev), static_cast<std::uint64_t>(named.st_ino),
                      static_cast<std::uint64_t>(named.st_size),
                      static_cast<std::int64_t>(named.st_mtim.tv_sec) * 1000000000 + named.st_mtim.tv_nsec};
    return true;
}

namespace {

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
    ReplacementFile file(path);
    return file.IsOpen() && file.Write(data, size) && file.Commit();
}

bool ReplaceFileAtomically(std::u16string_view path, const void* head, std::size_t headSize, int source,
                           std::uint64_t offset, std::uint64_t length) {
    ReplacementFile file(path);
    return file.IsOpen() && file.Write(head, headSize) && file.CopyFrom(source, offset, length) && file.Commit();
}

ReplacementFile::ReplacementFile(std::u16string_view target) {
    auto native = PosixPath(target);
    if (!native) return;
    std::filesystem::path path(*native);
    std::string name = path.filename().string();
    if (name.empty()) return;
    std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    RemoveStaleTemporaries(dir, name);
    fd_ = CreateTemporary(dir, name, temp_);
    target_ = *native;
    dir_ = dir.string();
}

ReplacementFile::~ReplacementFile() {
    if (fd_ < 0) return;
    // Removed while still locked, so no cleaner ever takes it for a stale one.
    ::unlink(temp_.c_str());
    ::close(fd_);
}

bool ReplacementFile::PrepareAs(const std::string& native) {
    if (fd_ < 0 || ::fsync(fd_) != 0 || ::rename(temp_.c_str(), native.c_str()) != 0) return false;
    ::close(fd_);
    fd_ = -1;
    SyncDirectory(dir_);
    return true;
}

bool ReplacementFile::Write(const void* data, std::size_t size) { return fd_ >= 0 && WriteAll(fd_, data, size); }

bool ReplacementFile::CopyFrom(int source, std::uint64_t offset, std::uint64_t length) {
    return fd_ >= 0 && CopyRange(source, offset, length, fd_);
}

bool ReplacementFile::Commit() {
    // The lock is held through the rename: until then the temporary is a live writer's.
    if (fd_ < 0 || ::fsync(fd_) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    ::close(fd_);
    fd_ = -1;
    SyncDirectory(dir_);
    return true;
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

int OpenRegularFile(const std::string& native, int flags, std::uint64_t* size) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for its other end forever.
    int fd = ::open(native.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return -1;
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : !S_ISREG(info.st_mode) ? EINVAL : 0;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (size != nullptr) *size = static_cast<std::uint64_t>(info.st_size);
    return fd;
}

}  // namespace velmo::device
