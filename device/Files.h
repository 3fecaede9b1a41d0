#pragma once
// The device's files: whole-file mappings, flushing, atomic replacement and exclusive
// locks. Paths are the product's UTF-16 text; they become UTF-8 only for the POSIX calls.
// Nothing here throws: every operation reports success as bool.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmo::device {

// A mapping of a whole existing file, read-only or read-write (shared, so writes reach
// the file). An empty file maps as size 0 with a null data pointer.
class MappedFile {
public:
    enum class Mode { ReadOnly, ReadWrite };

    MappedFile() = default;
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens and maps the existing file at path; false (and nothing held) on failure, with
    // LastError telling why. Anything but a regular file (a FIFO, a directory) is refused
    // without waiting for a writer.
    bool Open(std::u16string_view path, Mode mode);
    // The errno of the last failed Open: ENOENT when nothing is at the path, EINVAL when
    // what is there is no regular file; 0 after a successful one.
    int LastError() const { return error_; }
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    bool Writable() const { return fd_ >= 0 && mode_ == Mode::ReadWrite; }

    std::uint8_t* Data() { return data_; }
    const std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }

    // Writes the bytes [offset, offset + length) of a read-write mapping to the file
    // (msync of the covering pages), then flushes the file's buffers (fsync).
    bool Flush(std::size_t offset, std::size_t length);

    // Whether the mapped file is still the one that path names (same device and inode):
    // false once another process replaced or removed it, and when nothing is mapped.
    bool IsFileAt(std::u16string_view path) const;

private:
    int fd_ = -1;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    Mode mode_ = Mode::ReadOnly;
    int error_ = 0;
};

// Replaces the file at path with the given bytes so that any reader sees either the old
// file or the whole new one: write a temporary file in the same directory, fsync it,
// rename it over path, fsync the directory. The old file is untouched on failure.
bool ReplaceFileAtomically(std::u16string_view path, const void* data, std::size_t size);
// The same with head followed by length bytes of the open file source from offset, copied
// inside the kernel where the file system allows it, so that a large rewrite never passes
// through this process's memory. Fails when source holds fewer bytes.
bool ReplaceFileAtomically(std::u16string_view path, const void* head, std::size_t headSize, int source,
                           std::uint64_t offset, std::uint64_t length);

// The temporary file of an atomic replace, ".NAME.tmp-PID-RANDOM" beside the target. Its
// writer holds an exclusive lock on it until the rename, so a temporary whose lock can be
// taken was left by a writer that died: creating a new one first removes those of the same
// target. Removed again unless committed.
class ReplacementFile {
public:
    explicit ReplacementFile(std::u16string_view target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Write(const void* data, std::size_t size);
    // Appends length bytes of the open file source from offset, inside the kernel where the
    // file system allows it; false when source holds fewer.
    bool CopyFrom(int source, std::uint64_t offset, std::uint64_t length);
    // Flushes the bytes, renames the temporary over the target and flushes the directory.
    bool Commit();
    // For a switch of several files together: flushes the bytes and renames the temporary to
    // native (beside the target, a name no cleaner of temporaries removes), where it waits
    // for the caller to rename it over the target.
    bool PrepareAs(const std::string& native);

private:
    int fd_ = -1;
    std::string target_;
    std::string dir_;
    std::string temp_;
};

// An exclusive advisory lock (flock) on an open file descriptor, held for the object's life.
class FileLock {
public:
    explicit FileLock(int fd);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return held_; }

private:
    int fd_;
    bool held_;
};

// What tells one state of a file from the next: an atomic replace gives a new inode, a write in
// place a new size or modification time.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the regular file at path; false when there is none.
bool ReadFileStamp(std::u16string_view path, FileStamp& stamp);

// The UTF-8 form of a product path, for POSIX calls.
std::string NativePath(std::u16string_view path);

// Opens native with the POSIX flags (and permissions 0666 when O_CREAT creates it) without
// waiting on a FIFO planted there, and refuses anything but a regular file; the descriptor
// returned blocks as usual. -1 with errno set when it cannot, EINVAL for a file of another kind.
int OpenRegularFile(const std::string& native, int flags, std::uint64_t* size = nullptr);

}  // namespace velmo::device
