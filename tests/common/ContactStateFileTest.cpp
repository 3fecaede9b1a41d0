#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/Types.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;
using velmo::test::ReadFileBytes;
using velmo::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

using velmo::test::PutLe32;

using Bytes = std::vector<std::uint8_t>;

// The file as it must lie on disk, spelled out independently of the class.
Bytes FileBytes(std::int32_t count, const std::vector<ContactRecord>& records, std::uint32_t version = 0x00010001) {
    Bytes bytes(128 + 8 * records.size(), 0);
    const char magic[] = "WM_CI_FILTER";
    for (std::size_t i = 0; i < 12; ++i) bytes[2 * i] = static_cast<std::uint8_t>(magic[i]);
    PutLe32(bytes, 40, version);
    PutLe32(bytes, 44, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < records.size(); ++i) {
        PutLe32(bytes, 128 + 8 * i, static_cast<std::uint32_t>(records[i].action));
        PutLe32(bytes, 132 + 8 * i, static_cast<std::uint32_t>(records[i].key));
    }
    return bytes;
}

Bytes FileBytes(const std::vector<ContactRecord>& records) {
    return FileBytes(static_cast<std::int32_t>(records.size()), records);
}

std::ptrdiff_t FileCount(const fs::path& dir) {
    return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
}

struct Entry {
    std::int32_t key;
    std::int32_t defaultAction;
};

// A forked process that is killed and reaped if the test leaves early.
class Child {
public:
    template <typename Body>
    explicit Child(Body body) : pid_(fork()) {
        if (pid_ == 0) _exit(body());
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    bool Started() const { return pid_ > 0; }
    bool Running() const { return waitpid(pid_, nullptr, WNOHANG) == 0; }
    void Kill() { kill(pid_, SIGKILL); }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
};

class ContactStateFileTest : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
    fs::path file = device.Root() / "ContactsInfo.dat";
    std::u16string path = velmo::device::ToUtf16(file.string());

    void Open(ContactStateFile& contacts, bool forUpdate) {
        EXPECT_TRUE(contacts.SetPath(path));
        EXPECT_TRUE(forUpdate ? contacts.OpenForUpdate() : contacts.OpenForReading());
    }

    // The application's rebuild: Close, BeginRebuild, Add each, Save, OpenForUpdate.
    std::vector<std::int32_t> Rebuild(ContactStateFile& contacts, std::int32_t capacity,
                                      const std::vector<Entry>& entries) {
        contacts.Close();
        contacts.BeginRebuild(capacity);
        std::vector<std::int32_t> indices;
        for (const auto& entry : entries) indices.push_back(contacts.Add(entry.key, entry.defaultAction));
        EXPECT_TRUE(contacts.Save());
        EXPECT_TRUE(contacts.OpenForUpdate());
        return indices;
    }
};

}  // namespace

TEST_F(ContactStateFileTest, EmptyAddressBookGivesThe144ByteFile) {
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    EXPECT_FALSE(contacts.BeginRebuild(2)) << "no file yet";
    EXPECT_EQ(contacts.Add(UnknownSenderKey, Accept), 0);
    EXPECT_EQ(contacts.Add(UndefinedSenderKey, Accept), 1);
    ASSERT_TRUE(contacts.Save());

    Bytes expected = {'W', 0, 'M', 0, '_', 0, 'C', 0, 'I', 0, '_', 0, 'F', 0, 'I', 0, 'L', 0, 'T', 0, 'E', 0, 'R', 0,
                      0,   0, 0,   0, 0,   0, 0,   0, 0,   0, 0,   0, 0,   0, 0,   0, 1,   0, 1,   0, 2,   0, 0,   0};
    expected.resize(128, 0);
    Bytes records = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
    expected.insert(expected.end(), records.begin(), records.end());
    EXPECT_EQ(ReadFileBytes(file), expected);

    ASSERT_TRUE(contacts.OpenForUpdate());
    EXPECT_EQ(contacts.Count(), 2);
}

TEST_F(ContactStateFileTest, RebuildKeepsAddOrderAndWritesUnfilledSlotsAsZero) {
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    auto indices = Rebuild(contacts, 5, {{-1, Accept}, {-2, Accept}, {42, Dismiss}, {7, SilentAccept}});
    EXPECT_EQ(indices, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{0, -1}, {0, -2}, {1, 42}, {2, 7}, {0, 0}}));
    EXPECT_EQ(contacts.Count(), 5);
    ContactRecord record{9, 9};
    ASSERT_TRUE(contacts.GetAt(4, record));
    EXPECT_EQ(record, (ContactRecord{0, 0}));
}

TEST_F(ContactStateFileTest, ActionsSurviveARebuildByKeyWhenTheIndexMoves) {
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    auto first = Rebuild(contacts, 5, {{-1, Accept}, {-2, Accept}, {10, Accept}, {20, Accept}, {30, Accept}});
    ASSERT_TRUE(contacts.SetAt(first[3], {Dismiss, 20}));
    ASSERT_TRUE(contacts.SetAt(first[0], {SilentAccept, -1}));

    // Contact 10 left the address book, 30 now comes before 20, and 40 is new.
    Rebuild(contacts, 5, {{-1, Accept}, {-2, Accept}, {30, SilentAccept}, {20, SilentAccept}, {40, SilentAccept}});
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{2, -1}, {0, -2}, {0, 30}, {1, 20}, {2, 40}}));
}

TEST_F(ContactStateFileTest, FindTakesTheFirstDuplicateAndAddTheLast) {
    WriteFileBytes(file, FileBytes({{Dismiss, 9}, {SilentAccept, 9}}));
    {
        ContactStateFile reader;
        Open(reader, false);
        ContactRecord record;
        ASSERT_TRUE(reader.Find(9, record));
        EXPECT_EQ(record, (ContactRecord{Dismiss, 9}));
        EXPECT_FALSE(reader.Find(8, record));
    }
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    Rebuild(contacts, 1, {{9, Accept}});
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{SilentAccept, 9}}));
}

TEST_F(ContactStateFileTest, RebuildOf10000ContactsWritesWhatTheEntryByEntrySearchWrote) {
    // An old file with keys out of order, some twice with different actions, and a truncated tail.
    std::vector<ContactRecord> old;
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (std::int32_t i = 0; i < 10000; ++i) {
        old.push_back({static_cast<std::int32_t>(next() % 3), static_cast<std::int32_t>(next() % 12000) - 2});
    }
    WriteFileBytes(file, FileBytes(10000, old));
    // The address book now: most old keys, some new ones, some gone, in another order.
    std::vector<Entry> entries = {{UnknownSenderKey, Accept}, {UndefinedSenderKey, Accept}};
    for (std::int32_t i = 0; i < 10000; ++i)
        entries.push_back({static_cast<std::int32_t>(next() % 14000) + 1, Dismiss});

    // What Add did before: every old entry compared, the last with the key giving its action.
    std::vector<ContactRecord> expected;
    for (const auto& entry : entries) {
        ContactRecord record{entry.defaultAction, entry.key};
        for (const auto& entryBefore : old) {
            if (entryBefore.key == entry.key) record.action = entryBefore.action;
        }
        expected.push_back(record);
    }
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    Rebuild(contacts, static_cast<std::int32_t>(entries.size()), entries);
    EXPECT_TRUE(ReadFileBytes(file) == FileBytes(expected)) << "the rebuilt file differs";
}

struct InvalidFileCase {
    const char* name;
    void (*spoil)(Bytes& bytes);
};

void PrintTo(const InvalidFileCase& row, std::ostream* out) { *out << row.name; }

class InvalidContactFile : public ContactStateFileTest, public ::testing::WithParamInterface<InvalidFileCase> {};

TEST_P(InvalidContactFile, IsNotUsedAndTheRebuildStartsFromTheDefaults) {
    Bytes bytes = FileBytes({{Dismiss, -1}, {Dismiss, 5}});
    GetParam().spoil(bytes);
    WriteFileBytes(file, bytes);

    ContactStateFile reader;
    ASSERT_TRUE(reader.SetPath(path));
    EXPECT_FALSE(reader.OpenForReading());
    EXPECT_EQ(reader.Count(), 0);
    ContactRecord record;
    EXPECT_FALSE(reader.Find(5, record));

    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    EXPECT_FALSE(contacts.OpenForUpdate());
    EXPECT_EQ(ReadFileBytes(file), bytes) << "a failed open leaves the file alone";
    EXPECT_FALSE(contacts.BeginRebuild(2));
    contacts.Add(-1, Accept);
    contacts.Add(5, SilentAccept);
    ASSERT_TRUE(contacts.Save());
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{Accept, -1}, {SilentAccept, 5}}));
}

INSTANTIATE_TEST_SUITE_P(ContactStateFile, InvalidContactFile,
                         ::testing::Values(InvalidFileCase{"Version00010000",
                                                           [](Bytes& b) { PutLe32(b, 40, 0x00010000); }},
                                           InvalidFileCase{"WrongMagic", [](Bytes& b) { b[22] = 'X'; }},
                                           InvalidFileCase{"MagicWithoutItsZeroUnit", [](Bytes& b) { b[24] = 'S'; }},
                                           InvalidFileCase{"ShorterThanTheHeader", [](Bytes& b) { b.resize(127); }},
                                           InvalidFileCase{"Empty", [](Bytes& b) { b.clear(); }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactStateFileTest, MissingFileIsNotMappedAndTheRebuildStartsFromTheDefaults) {
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    EXPECT_FALSE(contacts.OpenForReading());
    EXPECT_FALSE(contacts.OpenForUpdate());
    EXPECT_FALSE(contacts.BeginRebuild(1));
    EXPECT_EQ(contacts.Add(5, Dismiss), 0);
    ASSERT_TRUE(contacts.Save());
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{Dismiss, 5}}));
}

struct CountCase {
    const char* name;
    std::int32_t headerCount;
    std::size_t recordsPresent;
    std::size_t trailingBytes;  // a partial record after the whole ones
    std::int32_t expectedCount;
};

void PrintTo(const CountCase& row, std::ostream* out) { *out << row.name; }

class HeaderCount : public ContactStateFileTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(HeaderCount, IsCutToTheRecordsPresent) {
    const auto& param = GetParam();
    std::vector<ContactRecord> records;
    for (std::size_t i = 0; i < param.recordsPresent; ++i)
        records.push_back({Dismiss, static_cast<std::int32_t>(i + 1)});
    Bytes bytes = FileBytes(param.headerCount, records);
    bytes.resize(bytes.size() + param.trailingBytes, 0x77);
    WriteFileBytes(file, bytes);
    // The last key present lies beyond the count unless the count covers every record.
    auto lastKey = static_cast<std::int32_t>(param.recordsPresent);
    bool lastVisible = param.expectedCount == lastKey && lastKey > 0;

    for (bool forUpdate : {false, true}) {
        SCOPED_TRACE(forUpdate ? "OpenForUpdate" : "OpenForReading");
        ContactStateFile contacts;
        Open(contacts, forUpdate);
        EXPECT_EQ(contacts.Count(), param.expectedCount);
        ContactRecord record;
        EXPECT_EQ(contacts.Find(lastKey, record), lastVisible);
        EXPECT_FALSE(contacts.GetAt(param.expectedCount, record));
        EXPECT_FALSE(contacts.SetAt(param.expectedCount, {SilentAccept, 99}));
    }
    EXPECT_EQ(ReadFileBytes(file), bytes);
}

INSTANTIATE_TEST_SUITE_P(ContactStateFile, HeaderCount,
                         ::testing::Values(CountCase{"LargerThanTheRecords", 5, 3, 0, 3},
                                           CountCase{"LargerWithAPartialRecord", 4, 3, 4, 3},
                                           CountCase{"HugeWithoutRecords", INT32_MAX, 0, 0, 0},
                                           CountCase{"Negative", -3, 2, 0, 0}, CountCase{"Minimum", INT32_MIN, 2, 0, 0},
                                           CountCase{"SmallerThanTheRecords", 1, 3, 0, 1},
                                           CountCase{"Exact", 3, 3, 0, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactStateFileTest, AddBeyondTheCapacityIsRefused) {
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    EXPECT_EQ(contacts.Add(-1, Accept), -1) << "no rebuild under way";
    contacts.BeginRebuild(2);
    EXPECT_EQ(contacts.Add(-1, Accept), 0);
    EXPECT_EQ(contacts.Add(-2, Accept), 1);
    EXPECT_EQ(contacts.Add(3, Dismiss), -1);
    ASSERT_TRUE(contacts.Save());
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{Accept, -1}, {Accept, -2}}));

    for (std::int32_t capacity : {0, -4}) {
        contacts.Close();
        contacts.BeginRebuild(capacity);
        EXPECT_EQ(contacts.Add(3, Dismiss), -1);
        ASSERT_TRUE(contacts.Save());
        EXPECT_EQ(ReadFileBytes(file), FileBytes({}));
    }
}

TEST_F(ContactStateFileTest, SaveWithoutARebuildIsRefusedAndKeepsTheFile) {
    Bytes bytes = FileBytes({{Dismiss, 4}});
    WriteFileBytes(file, bytes);
    ContactStateFile contacts;
    Open(contacts, true);
    EXPECT_FALSE(contacts.Save());
    EXPECT_EQ(ReadFileBytes(file), bytes);
}

TEST_F(ContactStateFileTest, GetAtAndSetAtRefuseIndicesOutsideTheEntriesAndReadOnlyWrites) {
    Bytes bytes = FileBytes({{Dismiss, 4}, {Dismiss, 5}});
    WriteFileBytes(file, bytes);
    ContactStateFile contacts;
    ASSERT_TRUE(contacts.SetPath(path));
    ContactRecord record{7, 7};
    EXPECT_EQ(contacts.Count(), 0);
    EXPECT_FALSE(contacts.GetAt(0, record)) << "nothing mapped";
    EXPECT_FALSE(contacts.SetAt(0, {Accept, 4}));

    ASSERT_TRUE(contacts.OpenForUpdate());
    for (std::int32_t index : {-1, 2, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(contacts.GetAt(index, record));
        EXPECT_FALSE(contacts.SetAt(index, {Accept, 4}));
    }
    EXPECT_EQ(record, (ContactRecord{7, 7}));

    ContactStateFile reader;
    Open(reader, false);
    EXPECT_FALSE(reader.SetAt(0, {Accept, 4})) << "the handler's mapping is read-only";
    EXPECT_EQ(ReadFileBytes(file), bytes);
}

TEST_F(ContactStateFileTest, SetAtReachesTheDiskAndAReaderThatAlreadyMapsTheFile) {
    ContactStateFile app;
    ASSERT_TRUE(app.SetPath(path));
    auto indices = Rebuild(app, 3, {{-1, Accept}, {-2, Accept}, {42, Accept}});
    ContactStateFile handler;
    Open(handler, false);

    ASSERT_TRUE(app.SetAt(indices[2], {Dismiss, 42}));
    ContactRecord record;
    ASSERT_TRUE(handler.Find(42, record));
    EXPECT_EQ(record.action, Dismiss);
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{0, -1}, {0, -2}, {Dismiss, 42}}));
    ASSERT_TRUE(app.GetAt(indices[2], record));
    EXPECT_EQ(record, (ContactRecord{Dismiss, 42}));
}

TEST_F(ContactStateFileTest, SetAtIsSeenByAnotherProcessHoldingTheFileMapped) {
    ContactStateFile app;
    ASSERT_TRUE(app.SetPath(path));
    auto indices = Rebuild(app, 3, {{-1, Accept}, {-2, Accept}, {42, Accept}});
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    Child child([&] {
        ContactStateFile handler;
        handler.SetPath(path);
        char signal = 0;
        if (!handler.OpenForReading()) return 100;
        if (write(toParent[1], "m", 1) != 1 || read(toChild[0], &signal, 1) != 1) return 101;
        ContactRecord record;
        return handler.Find(42, record) ? static_cast<int>(record.action) : 102;
    });
    ASSERT_TRUE(child.Started());
    char signal = 0;
    ASSERT_EQ(read(toParent[0], &signal, 1), 1) << "the child could not map the file";
    ASSERT_TRUE(app.SetAt(indices[2], {SilentAccept, 42}));
    ASSERT_EQ(write(toChild[1], "s", 1), 1);
    int status = child.Wait();
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), SilentAccept);
}

TEST_F(ContactStateFileTest, SaveSucceedsWhileAReaderKeepsTheWholeOldFile) {
    ContactStateFile app;
    ASSERT_TRUE(app.SetPath(path));
    Rebuild(app, 3, {{-1, Accept}, {-2, Accept}, {42, Dismiss}});
    ContactStateFile handler;
    Open(handler, false);

    Rebuild(app, 2, {{-1, SilentAccept}, {43, SilentAccept}});
    EXPECT_EQ(ReadFileBytes(file), FileBytes({{Accept, -1}, {SilentAccept, 43}}));
    EXPECT_EQ(handler.Count(), 3);
    ContactRecord record;
    ASSERT_TRUE(handler.Find(42, record));
    EXPECT_EQ(record.action, Dismiss);
    EXPECT_FALSE(handler.Find(43, record));

    ContactStateFile next;
    Open(next, false);
    ASSERT_TRUE(next.Find(43, record));
    EXPECT_EQ(record.action, SilentAccept);
}

TEST_F(ContactStateFileTest, FailedSaveKeepsTheOldFileWhichMapsAgain) {
    ContactStateFile app;
    ASSERT_TRUE(app.SetPath(path));
    Rebuild(app, 2, {{-1, Accept}, {-2, Dismiss}});
    Bytes old = ReadFileBytes(file);

    app.Close();
    app.BeginRebuild(1000);
    app.Add(-1, Accept);
    {
        velmo::test::ScopedFileSizeLimit limit(1024);
        EXPECT_FALSE(app.Save());
    }
    EXPECT_EQ(ReadFileBytes(file), old);
    EXPECT_EQ(FileCount(device.Root()), 1) << "no temporary file is left behind";
    ASSERT_TRUE(app.OpenForUpdate());
    EXPECT_EQ(app.Count(), 2);
}

TEST_F(ContactStateFileTest, PathMustFitItsBuffer) {
    ContactStateFile contacts;
    EXPECT_FALSE(contacts.OpenForReading()) << "no path yet";
    EXPECT_TRUE(contacts.SetPath(std::u16string(259, u'a')));
    EXPECT_FALSE(contacts.SetPath(std::u16string(260, u'a')));
    // Refused, the path is empty rather than cut short to a different file.
    WriteFileBytes(file, FileBytes({{Dismiss, 4}}));
    EXPECT_FALSE(contacts.SetPath(path + std::u16string(260, u'a')));
    EXPECT_FALSE(contacts.OpenForReading());
    // The text ends at its first zero unit, as in a fixed buffer.
    ASSERT_TRUE(contacts.SetPath(path + u'\0' + u"ignored"));
    EXPECT_TRUE(contacts.OpenForReading());
}

// A process killed in the middle of Save leaves the old file or the new one, whole; the
// handler's readings while Save runs see whole files too, and Save never fails for them.
// Each file holds one entry and zeros, so that writing it takes long but building it not.
TEST_F(ContactStateFileTest, SaveKilledMidwayLeavesAWholeFile) {
    constexpr std::int32_t kBig = 400000;
    constexpr std::int32_t kSmall = 100000;
    auto expected = [](bool big) {
        std::vector<ContactRecord> records(big ? kBig : kSmall);
        records[0] = big ? ContactRecord{SilentAccept, 1} : ContactRecord{Dismiss, 2};
        return records;
    };
    auto save = [&](ContactStateFile& writer, bool big) {
        writer.Close();
        writer.BeginRebuild(big ? kBig : kSmall);
        writer.Add(big ? 1 : 2, big ? SilentAccept : Dismiss);
        return writer.Save();
    };
    ContactStateFile seed;
    ASSERT_TRUE(seed.SetPath(path));
    ASSERT_TRUE(save(seed, false));
    seed.Close();

    for (int round = 0; round < 3; ++round) {
        Child saver([&] {
            ContactStateFile writer;
            writer.SetPath(path);
            for (bool big = true;; big = !big) {
                if (!save(writer, big)) return 1;
            }
        });
        ASSERT_TRUE(saver.Started());
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150 + 100 * round);
        while (std::chrono::steady_clock::now() < until) {
            ContactStateFile handler;
            Open(handler, false);
            bool big = handler.Count() == kBig;
            ASSERT_EQ(handler.Count(), big ? kBig : kSmall);
            ContactRecord first;
            ContactRecord last;
            ASSERT_TRUE(handler.GetAt(0, first));
            ASSERT_TRUE(handler.GetAt(handler.Count() - 1, last));
            EXPECT_EQ(first, expected(big)[0]);
            EXPECT_EQ(last, (ContactRecord{0, 0}));
        }
        ASSERT_TRUE(saver.Running()) << "Save failed while the file was being read";
        // Kill it while the new file is being written, which shows as a second file here.
        auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (FileCount(device.Root()) < 2 && std::chrono::steady_clock::now() < giveUp) {}
        saver.Kill();
        saver.Wait();

        Bytes bytes = ReadFileBytes(file);
        ASSERT_TRUE(bytes.size() == 128 + 8 * kBig || bytes.size() == 128 + 8 * kSmall) << bytes.size();
        EXPECT_EQ(bytes, FileBytes(expected(bytes.size() == 128 + 8 * kBig)));
    }
}
