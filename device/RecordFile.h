#pragma once
// A data file read and written at offsets through one descriptor, for files that several
// processes share: pair it with FileLock for exclusive updates and with
// ReplaceFileAtomically for rewrites, after which the other holders see WasReplaced.
// Paths are the product's UTF-16 text. Nothing here throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmo::device {

class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens the regular file at path for reading and writing, creating it when missing;
    // any file held before is closed first.
    bool Open(std::u16string_view path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // The open descriptor, for a FileLock.
    int Descriptor() const { return fd_; }

    bool Size(std::uint64_t& size) const;
    // Reads up to size bytes at offset and answers how many arrived.
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) const;
    // True when all the bytes were written.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    bool Truncate(std::uint64_t size);
    // Writes the file's data through to the disk.
    bool Flush();
    // True when the path no longer names the file held here: it was replaced, renamed away or removed.
    bool WasReplaced() const;

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace velmo::device
