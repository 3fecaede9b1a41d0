#pragma once
// A device-wide exclusive lock shared by processes: an flock on a small file that exists
// only to be locked. The lock ends with the object, or with the process that held it, so
// a killed holder never leaves the device locked.

#include <string_view>

namespace velmo::device {

class LockFile {
public:
    LockFile() = default;
    ~LockFile() { Unlock(); }
    LockFile(LockFile&& other) noexcept;
    LockFile& operator=(LockFile&& other) noexcept;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Creates the file at path when missing and waits until this process holds it alone;
    // false when the file cannot be opened or locked.
    bool Lock(std::u16string_view path);
    void Unlock();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace velmo::device
