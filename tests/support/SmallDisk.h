#pragma once
// A small tmpfs of a test's own mounted over a folder (the device root), and a filler file
// that leaves it only so many bytes free. Mounting needs root: whyNot says why it failed.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace velmo::test {

struct SmallDisk {
    SmallDisk(const std::filesystem::path& at, const std::string& size) : folder(at) {
        std::filesystem::create_directories(at);
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) whyNot = std::strerror(errno);
    }
    ~SmallDisk() {
        if (whyNot.empty()) ::umount2(folder.c_str(), MNT_DETACH);
    }
    // Leaves about `bytes` free, to the file system's block.
    bool LeaveFree(unsigned long long bytes) {
        Free();
        struct statvfs disk {};
        if (::statvfs(folder.c_str(), &disk) != 0) return false;
        const unsigned long long free = static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
        int fd = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const bool filled = fd >= 0 && (free <= bytes || ::posix_fallocate(fd, 0, off_t(free - bytes)) == 0);
        if (fd >= 0) ::close(fd);
        return filled;
    }
    void Free() { std::filesystem::remove(folder / "filler"); }

    std::filesystem::path folder;
    std::string whyNot;  // empty once mounted
};

}  // namespace velmo::test
