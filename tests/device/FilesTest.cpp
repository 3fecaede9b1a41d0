#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "device/Files.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo::device;
using velmo::test::ReadFileBytes;
using velmo::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

std::u16string U16(const fs::path& path) { return ToUtf16(path.string()); }

// Bytes that differ from page to page, so a stale or shifted page shows.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 4096);
    return bytes;
}

std::vector<std::uint8_t> Contents(const MappedFile& file) { return {file.Data(), file.Data() + file.Size()}; }

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FilesTest : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
    fs::path dir = device.Root();
};

}  // namespace

TEST_F(FilesTest, ReadOnlyMappingHoldsTheWholeFile) {
    auto bytes = Pattern(3 * 4096 + 17, 1);
    WriteFileBytes(dir / "data", bytes);
    MappedFile file;
    ASSERT_TRUE(file.Open(U16(dir / "data"), MappedFile::Mode::ReadOnly));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.Writable());
    EXPECT_EQ(Contents(file), bytes);
    EXPECT_FALSE(file.Flush(0, 1)) << "a read-only mapping has nothing to write";
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Data(), nullptr);
}

TEST_F(FilesTest, ReadOnlyMappingOfAReadOnlyFile) {
    auto bytes = Pattern(100, 3);
    WriteFileBytes(dir / "locked", bytes);
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    MappedFile file;
    ASSERT_TRUE(file.Open(U16(dir / "locked"), MappedFile::Mode::ReadOnly));
    EXPECT_EQ(Contents(file), bytes);
    if (geteuid() != 0) {
        MappedFile writer;
        EXPECT_FALSE(writer.Open(U16(dir / "locked"), MappedFile::Mode::ReadWrite));
    }
}

TEST_F(FilesTest, EmptyFileMapsAsSizeZeroInBothModes) {
    WriteFileBytes(dir / "empty", {});
    for (auto mode : {MappedFile::Mode::ReadOnly, MappedFile::Mode::ReadWrite}) {
        MappedFile file;
        ASSERT_TRUE(file.Open(U16(dir / "empty"), mode));
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(file.Size(), 0u);
        EXPECT_EQ(file.Data(), nullptr);
        EXPECT_EQ(file.Flush(0, 0), mode == MappedFile::Mode::ReadWrite);
    }
}

struct UnopenableCase {
    const char* name;
    std::u16string (*path)(const fs::path& dir);
};

void PrintTo(const UnopenableCase& row, std::ostream* out) { *out << row.name; }

class UnopenableFile : public FilesTest, public ::testing::WithParamInterface<UnopenableCase> {};

TEST_P(UnopenableFile, IsRefusedAndNothingIsHeld) {
    fs::create_directory(dir / "folder");
    WriteFileBytes(dir / "real", Pattern(10, 0));
    for (auto mode : {MappedFile::Mode::ReadOnly, MappedFile::Mode::ReadWrite}) {
        MappedFile file;
        EXPECT_FALSE(file.Open(GetParam().path(dir), mode));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.Data(), nullptr);
        EXPECT_EQ(file.Size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnopenableFile,
    ::testing::Values(UnopenableCase{"Missing", [](const fs::path& d) { return U16(d / "missing"); }},
                      UnopenableCase{"Directory", [](const fs::path& d) { return U16(d / "folder"); }},
                      UnopenableCase{"EmptyPath", [](const fs::path&) { return std::u16string(); }},
                      // Cut at the zero unit, the name would open "real".
                      UnopenableCase{"EmbeddedZero", [](const fs::path& d) { return U16(d / "real") + u'\0' + u"x"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilesTest, FlushedWritesReachTheFileAsSeenThroughASeparateRead) {
    auto bytes = Pattern(3 * 4096, 5);
    WriteFileBytes(dir / "data", bytes);
    MappedFile file;
    ASSERT_TRUE(file.Open(U16(dir / "data"), MappedFile::Mode::ReadWrite));
    EXPECT_TRUE(file.Writable());
    file.Data()[5000] = 0xAB;
    file.Data()[5001] = 0xCD;
    ASSERT_TRUE(file.Flush(5000, 2));
    bytes[5000] = 0xAB;
    bytes[5001] = 0xCD;
    EXPECT_EQ(ReadFileBytes(dir / "data"), bytes);
}

TEST_F(FilesTest, FlushRefusesARangeBeyondTheMapping) {
    WriteFileBytes(dir / "data", Pattern(100, 0));
    MappedFile file;
    ASSERT_TRUE(file.Open(U16(dir / "data"), MappedFile::Mode::ReadWrite));
    EXPECT_TRUE(file.Flush(100, 0));
    EXPECT_TRUE(file.Flush(0, 100));
    EXPECT_FALSE(file.Flush(99, 2));
    EXPECT_FALSE(file.Flush(101, 0));
    EXPECT_FALSE(file.Flush(1, std::numeric_limits<std::size_t>::max()));
}

TEST_F(FilesTest, MovedMappingStaysOpenAndTheSourceIsEmpty) {
    auto bytes = Pattern(64, 9);
    WriteFileBytes(dir / "data", bytes);
    MappedFile first;
    ASSERT_TRUE(first.Open(U16(dir / "data"), MappedFile::Mode::ReadOnly));
    MappedFile second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(Contents(second), bytes);
    MappedFile third;
    third = std::move(second);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(Contents(third), bytes);
}

TEST_F(FilesTest, ReaderOfTheOldFileKeepsTheWholeOldBytesAfterAReplace) {
    auto oldBytes = Pattern(3 * 4096 + 100, 11);
    WriteFileBytes(dir / "data", oldBytes);
    MappedFile reader;
    MappedFile writer;
    ASSERT_TRUE(reader.Open(U16(dir / "data"), MappedFile::Mode::ReadOnly));
    ASSERT_TRUE(writer.Open(U16(dir / "data"), MappedFile::Mode::ReadWrite));

    auto newBytes = Pattern(10, 200);
    ASSERT_TRUE(ReplaceFileAtomically(U16(dir / "data"), newBytes.data(), newBytes.size()));

    EXPECT_EQ(Contents(reader), oldBytes);
    // A write through the old mapping stays with the old file.
    writer.Data()[0] = 0xEE;
    EXPECT_TRUE(writer.Flush(0, 1));
    EXPECT_EQ(reader.Data()[0], 0xEE);
    EXPECT_EQ(ReadFileBytes(dir / "data"), newBytes);

    MappedFile fresh;
    ASSERT_TRUE(fresh.Open(U16(dir / "data"), MappedFile::Mode::ReadOnly));
    EXPECT_EQ(Contents(fresh), newBytes);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"data"});
}

TEST_F(FilesTest, ReplaceCreatesAMissingFileAndCanLeaveItEmpty) {
    auto bytes = Pattern(5000, 2);
    ASSERT_TRUE(ReplaceFileAtomically(U16(dir / "new"), bytes.data(), bytes.size()));
    EXPECT_EQ(ReadFileBytes(dir / "new"), bytes);
    ASSERT_TRUE(ReplaceFileAtomically(U16(dir / "new"), nullptr, 0));
    EXPECT_TRUE(ReadFileBytes(dir / "new").empty());
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"new"});
}

TEST_F(FilesTest, ReplaceIntoAMissingDirectoryFailsAndLeavesNothing) {
    auto bytes = Pattern(10, 0);
    EXPECT_FALSE(ReplaceFileAtomically(U16(dir / "absent" / "data"), bytes.data(), bytes.size()));
    EXPECT_FALSE(fs::exists(dir / "absent"));
    EXPECT_TRUE(Listing(dir).empty());
}

TEST_F(FilesTest, FailedWriteKeepsTheOldFileAndRemovesItsTemporary) {
    auto oldBytes = Pattern(100, 4);
    WriteFileBytes(dir / "data", oldBytes);
    auto newBytes = Pattern(64 * 1024, 8);
    {
        velmo::test::ScopedFileSizeLimit limit(4096);
        EXPECT_FALSE(ReplaceFileAtomically(U16(dir / "data"), newBytes.data(), newBytes.size()));
    }
    EXPECT_EQ(ReadFileBytes(dir / "data"), oldBytes);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"data"});
}

TEST_F(FilesTest, ReplaceWithARangeOfAnOpenFileWritesTheHeadAndExactlyThoseBytes) {
    auto source = Pattern(3 * 1024 * 1024 + 77, 5);
    WriteFileBytes(dir / "source", source);
    WriteFileBytes(dir / "data", Pattern(10, 1));
    int fd = ::open((dir / "source").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::uint8_t head[4] = {1, 2, 3, 4};
    EXPECT_TRUE(ReplaceFileAtomically(U16(dir / "data"), head, sizeof head, fd, 1000, source.size() - 1000));
    std::vector<std::uint8_t> expected(head, head + 4);
    expected.insert(expected.end(), source.begin() + 1000, source.end());
    EXPECT_EQ(ReadFileBytes(dir / "data"), expected);

    // A source that ends before the range does leaves the file as it was.
    EXPECT_FALSE(ReplaceFileAtomically(U16(dir / "data"), head, sizeof head, fd, 1000, source.size()));
    EXPECT_EQ(ReadFileBytes(dir / "data"), expected);
    ::close(fd);
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"data", "source"}));
}

TEST_F(FilesTest, ReplaceRefusesAPathWithoutAFileName) {
    auto bytes = Pattern(10, 0);
    EXPECT_FALSE(ReplaceFileAtomically(U16(dir) + u"/", bytes.data(), bytes.size()));
    EXPECT_FALSE(ReplaceFileAtomically(u"", bytes.data(), bytes.size()));
    EXPECT_TRUE(Listing(dir).empty());
}

TEST_F(FilesTest, FileLockExcludesOtherOpenersUntilItEnds) {
    WriteFileBytes(dir / "lock", {});
    int mine = ::open((dir / "lock").c_str(), O_RDWR | O_CLOEXEC);
    int other = ::open((dir / "lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(mine, 0);
    ASSERT_GE(other, 0);
    {
        FileLock lock(mine);
        EXPECT_TRUE(lock.Held());
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        EXPECT_EQ(errno, EWOULDBLOCK);
    }
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(mine);
    ::close(other);
}

TEST_F(FilesTest, FileLockOnAnInvalidDescriptorIsNotHeld) {
    FileLock lock(-1);
    EXPECT_FALSE(lock.Held());
}

TEST_F(FilesTest, PathsReachPosixAsUtf8) {
    std::u16string name = u"K\u00f6ln \u20ac \U0001F600.dat";
    EXPECT_EQ(NativePath(name), "K\xc3\xb6ln \xe2\x82\xac \xf0\x9f\x98\x80.dat");
    auto bytes = Pattern(20, 6);
    std::u16string path = U16(dir) + u"/" + name;
    ASSERT_TRUE(ReplaceFileAtomically(path, bytes.data(), bytes.size()));
    EXPECT_EQ(ReadFileBytes(dir / "K\xc3\xb6ln \xe2\x82\xac \xf0\x9f\x98\x80.dat"), bytes);
    MappedFile file;
    ASSERT_TRUE(file.Open(path, MappedFile::Mode::ReadOnly));
    EXPECT_EQ(Contents(file), bytes);
}

namespace {

// A writer in a child process that stops between writing its temporary and the rename;
// the parent then kills it, or leaves it running, before its own replace of "data".
struct InterruptedWriter {
    const char* name;
    const char* writerTarget;
    bool killed;
    std::size_t temporariesLeft;
};

class InterruptedReplace : public FilesTest, public ::testing::WithParamInterface<InterruptedWriter> {};

std::size_t Temporaries(const std::vector<std::string>& names) {
    return static_cast<std::size_t>(std::count_if(
        names.begin(), names.end(), [](const std::string& name) { return name.find(".tmp-") != std::string::npos; }));
}

}  // namespace

TEST_P(InterruptedReplace, RemovesOnlyTheTemporariesOfDeadWritersOfItsOwnFile) {
    WriteFileBytes(dir / "data", Pattern(100, 1));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        ReplacementFile file(U16(dir / GetParam().writerTarget));
        auto bytes = Pattern(5000, 2);
        char done = file.IsOpen() && file.Write(bytes.data(), bytes.size()) ? 1 : 0;
        if (::write(ready[1], &done, 1) != 1) ::_exit(1);
        while (true) ::pause();
    }
    ::close(ready[1]);
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(done, 1);
    if (GetParam().killed) {
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
    }
    ASSERT_EQ(Temporaries(Listing(dir)), 1u);

    auto newBytes = Pattern(300, 3);
    EXPECT_TRUE(ReplaceFileAtomically(U16(dir / "data"), newBytes.data(), newBytes.size()));
    EXPECT_EQ(ReadFileBytes(dir / "data"), newBytes);
    EXPECT_EQ(Temporaries(Listing(dir)), GetParam().temporariesLeft);

    if (!GetParam().killed) {
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, InterruptedReplace,
                         ::testing::Values(InterruptedWriter{"KilledWriterOfTheSameFile", "data", true, 0},
                                           InterruptedWriter{"LiveWriterOfTheSameFile", "data", false, 1},
                                           InterruptedWriter{"KilledWriterOfAnotherFile", "other", true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });
