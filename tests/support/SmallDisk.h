#pragma once
// A file system of its own for a test that fills the disk: a small tmpfs mounted over a
// folder (the device root), and a filler file that leaves it only so many bytes free.
// Mounting needs root; a test where it fails skips with the reason.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace velmo::test {

class SmallDisk {
public:
    SmallDisk(const std::filesystem::path& folder, const std::string& size) : folder_(folder) {
        std::filesystem::create_directories(folder);
        const std::string options = "size=" + size;
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            why_ = "cannot mount a tmpfs (" + std::string(std::strerror(errno)) + ")";
        }
    }
    ~SmallDisk() {
        if (why_.empty()) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Empty when mounted, else why not.
    const std::string& WhyNot() const { return why_; }

    // Leaves about `bytes` free, to the file system's block; false when it cannot.
    bool LeaveFree(unsigned long long bytes) {
        Free();
        struct statvfs disk {};
        if (::statvfs(folder_.c_str(), &disk) != 0) return false;
        const unsigned long long free = static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
        if (free <= bytes) return true;
        int fd = ::open(Filler().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        const bool filled = ::posix_fallocate(fd, 0, static_cast<off_t>(free - bytes)) == 0;
        ::close(fd);
        return filled;
    }
    void Free() { std::filesystem::remove(Filler()); }

private:
    std::filesystem::path Filler() const { return folder_ / "filler"; }

    std::filesystem::path folder_;
    std::string why_;
};

}  // namespace velmo::test
