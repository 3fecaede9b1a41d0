#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageTexts.h"
#include "device/Clock.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/ScopedTimeZone.h"
#include "support/TempDevice.h"

using namespace velmo;
using device::ToUtf16;

namespace {

using velmo::test::ScopedTimeZone;

constexpr std::uint64_t kSecond = 10'000'000;
constexpr std::uint64_t kDay = 86400 * kSecond;

// 2026-03-01 12:00:00 UTC as a FILETIME.
const std::uint64_t kBase =
    device::ToFileTime(std::chrono::sys_days{std::chrono::year{2026} / 3 / 1} + std::chrono::hours{12});

struct ScopedNow {
    explicit ScopedNow(std::uint64_t fileTime) { device::SetNowForTesting(device::FromFileTime(fileTime)); }
    ~ScopedNow() { device::SetNowForTesting(std::nullopt); }
};

// Record number i: delivered i seconds after kBase, with texts that name it.
BlockedMessageRecord Numbered(std::uint64_t i) {
    std::u16string n = ToUtf16(std::to_string(i));
    std::u16string subject = u"message " + n + u": " + std::u16string(150, u'x') + u" end " + n;
    return MakeBlockedMessageRecord((u"+1555" + n).c_str(), subject.c_str(), (u"Sender " + n).c_str(),
                                    device::Split(kBase + i * kSecond));
}

// The number of a record written by Numbered, or -1 when the record is not exactly one of them.
long long NumberOf(const BlockedMessageRecord& record) {
    std::uint64_t time = device::Join(record.deliveryTime);
    if (time < kBase || (time - kBase) % kSecond != 0) return -1;
    std::uint64_t i = (time - kBase) / kSecond;
    BlockedMessageRecord expected = Numbered(i);
    return std::memcmp(&record, &expected, sizeof record) == 0 ? static_cast<long long>(i) : -1;
}

BlockedMessageRecord DeliveredAt(std::uint64_t fileTime) {
    return MakeBlockedMessageRecord(u"+15550100", u"text", u"Name", device::Split(fileTime));
}

// The records of the file as they lie on disk, after the 4-byte header.
std::vector<BlockedMessageRecord> RawRecords(const std::filesystem::path& path) {
    auto size = std::filesystem::file_size(path);
    std::ifstream in(path, std::ios::binary);
    in.seekg(4);
    std::vector<BlockedMessageRecord> records(size < 4 ? 0 : (size - 4) / 840);
    in.read(reinterpret_cast<char*>(records.data()), static_cast<std::streamsize>(records.size() * 840));
    return records;
}

// The record numbers in the file, in file order; fails the test unless the file is whole:
// its header and whole records only, each exactly as written.
std::vector<long long> WholeFileNumbers(const std::filesystem::path& path) {
    auto size = std::filesystem::file_size(path);
    EXPECT_GE(size, 4u);
    EXPECT_EQ((size - 4) % 840, 0u) << "size " << size;
    std::vector<long long> numbers;
    for (const auto& record : RawRecords(path)) {
        numbers.push_back(NumberOf(record));
        EXPECT_GE(numbers.back(), 0) << "a damaged record at index " << numbers.size() - 1;
    }
    return numbers;
}

std::vector<long long> Range(long long first, long long end) {
    std::vector<long long> numbers;
    for (long long i = first; i < end; ++i) numbers.push_back(i);
    return numbers;
}

class BlockedMessageFileTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = device_.Root() / "Mesages.dat"; }

    void OpenFile(BlockedMessageFile& file) {
        file.SetPath(ToUtf16(path_.string()));
        file.Open();
        ASSERT_TRUE(file.IsOpen());
    }

    void AppendNumbered(std::uint64_t first, std::uint64_t end) {
        BlockedMessageFile file;
        OpenFile(file);
        for (std::uint64_t i = first; i < end; ++i) ASSERT_TRUE(file.Append(Numbered(i)));
    }

    test::TempDevice device_;
    std::filesystem::path path_;
};

TEST_F(BlockedMessageFileTest, NewFileIsItsHeaderOnly) {
    BlockedMessageFile file;
    OpenFile(file);
    EXPECT_EQ(std::filesystem::file_size(path_), 4u);
    EXPECT_EQ(file.Count(), 0u);
    BlockedMessageRecord record{};
    EXPECT_FALSE(file.ReadAt(0, record));
}

TEST_F(BlockedMessageFileTest, OpenCompletesAHeaderCutShort) {
    test::WriteFileBytes(path_, {0x7F, 0x7F});
    BlockedMessageFile file;
    OpenFile(file);
    EXPECT_EQ(std::filesystem::file_size(path_), 4u);
    EXPECT_EQ(file.Count(), 0u);
}

TEST_F(BlockedMessageFileTest, ThreeAppendsLieOnDiskInOrder) {
    BlockedMessageFile file;
    OpenFile(file);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(file.Append(Numbered(i)));
    EXPECT_EQ(std::filesystem::file_size(path_), 2524u);
    EXPECT_EQ(file.Count(), 3u);
    BlockedMessageRecord last{};
    ASSERT_TRUE(file.ReadAt(2, last));
    EXPECT_EQ(NumberOf(last), 2);
    EXPECT_FALSE(file.ReadAt(3, last));

    // The third record's fields at their offsets, little-endian, FILETIME low half first.
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(path_);
    const std::uint8_t* record = bytes.data() + 4 + 2 * 840;
    EXPECT_EQ(record[0], '+');
    EXPECT_EQ(record[1], 0);
    EXPECT_EQ(record[64], 'm');
    EXPECT_EQ(record[576], 'S');
    std::uint64_t time = kBase + 2 * kSecond;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(record[832 + i], static_cast<std::uint8_t>(time >> (8 * i))) << i;
}

TEST_F(BlockedMessageFileTest, AClosedFileDoesNothing) {
    BlockedMessageFile file;
    file.SetPath(ToUtf16((device_.Root() / "missing" / "Mesages.dat").string()));
    file.Open();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Append(Numbered(0)));
    EXPECT_EQ(file.Count(), 0u);
    BlockedMessageRecord record{};
    EXPECT_FALSE(file.ReadAt(0, record));
    file.Clear();
    file.Purge(86400);
    EXPECT_FALSE(std::filesystem::exists(device_.Root() / "missing"));
}

TEST_F(BlockedMessageFileTest, APathTooLongForItsBufferIsNotShortened) {
    std::filesystem::path longPath = device_.Root() / std::string(300, 'd');
    std::u16string text = ToUtf16((longPath / "Mesages.dat").string());
    BlockedMessageFile file;
    file.SetPath(text);
    file.Open();
    EXPECT_FALSE(file.IsOpen());
    // What 259 units of that path would name.
    EXPECT_FALSE(std::filesystem::exists(device::ToUtf8(text.substr(0, 259))));
}

TEST_F(BlockedMessageFileTest, APartialTrailingRecordIsNotCountedAndAppendWritesOverIt) {
    AppendNumbered(0, 2);
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(path_);
    bytes.resize(bytes.size() + 100, 0xAB);  // an append cut short by a crash
    test::WriteFileBytes(path_, bytes);

    BlockedMessageFile file;
    OpenFile(file);
    EXPECT_EQ(file.Count(), 2u);
    ASSERT_TRUE(file.Append(Numbered(2)));
    EXPECT_EQ(std::filesystem::file_size(path_), 4u + 3 * 840);
    EXPECT_EQ(WholeFileNumbers(path_), Range(0, 3));
}

TEST_F(BlockedMessageFileTest, ClearKeepsTheHeaderOnly) {
    AppendNumbered(0, 3);
    BlockedMessageFile file;
    OpenFile(file);
    file.Clear();
    EXPECT_EQ(std::filesystem::file_size(path_), 4u);
    EXPECT_EQ(file.Count(), 0u);
    ASSERT_TRUE(file.Append(Numbered(7)));
    EXPECT_EQ(WholeFileNumbers(path_), std::vector<long long>{7});
}

// ---- Purge

struct PurgeRow {
    const char* name;
    std::vector<std::uint64_t> agesInSeconds;  // of the records, in file order
    std::uint32_t purgeAge;
    std::vector<std::size_t> kept;  // indices of the records left
};

class PurgeTest : public BlockedMessageFileTest, public ::testing::WithParamInterface<PurgeRow> {};

TEST_P(PurgeTest, RemovesOldRecordsFromTheFrontOnly) {
    const PurgeRow& row = GetParam();
    const std::uint64_t now = kBase + 30 * kDay;
    {
        BlockedMessageFile file;
        OpenFile(file);
        for (auto age : row.agesInSeconds) ASSERT_TRUE(file.Append(DeliveredAt(now - age * kSecond)));
    }
    std::vector<BlockedMessageRecord> before = RawRecords(path_);

    ScopedNow clock(now);
    BlockedMessageFile file;
    OpenFile(file);
    file.Purge(row.purgeAge);

    EXPECT_EQ(std::filesystem::file_size(path_), 4 + 840 * row.kept.size());
    std::vector<BlockedMessageRecord> after = RawRecords(path_);
    ASSERT_EQ(after.size(), row.kept.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(std::memcmp(&after[i], &before[row.kept[i]], 840), 0) << "record " << i;
    }
    EXPECT_EQ(file.Count(), row.kept.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PurgeTest,
    ::testing::Values(PurgeRow{"OneDayLeavesTheLastOfThree", {3 * 86400, 2 * 86400, 3600}, 86400, {2}},
                      PurgeRow{"EveryRecordOldCutsToTheHeader", {3 * 86400, 2 * 86400}, 86400, {}},
                      PurgeRow{"AnOldRecordAfterANewerOneStays", {3 * 86400, 3600, 5 * 86400}, 86400, {1, 2}},
                      PurgeRow{"ARecordExactlyAtTheAgeStays", {86400 + 1, 86400}, 86400, {1}},
                      PurgeRow{"ThreeDaysAge", {4 * 86400, 2 * 86400}, 259200, {1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlockedMessageFileTest, PurgeWithTheOldestRecordYoungEnoughDoesNotWriteTheFile) {
    const std::uint64_t now = kBase + 30 * kDay;
    {
        BlockedMessageFile file;
        OpenFile(file);
        for (auto age : {7200, 3600, 60}) ASSERT_TRUE(file.Append(DeliveredAt(now - age * kSecond)));
    }
    const timespec old[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01
    ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), old, 0), 0);
    struct stat before {};
    ASSERT_EQ(stat(path_.c_str(), &before), 0);

    ScopedNow clock(now);
    BlockedMessageFile file;
    OpenFile(file);
    file.Purge(86400);

    struct stat after {};
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_size, 4 + 3 * 840);
}

// Delivery times are UTC; a purge threshold taken from local time would drop a record that
// is younger than the age whenever the zone is ahead of UTC.
TEST_F(BlockedMessageFileTest, PurgeMeasuresTheAgeInUtcWhateverTheTimeZone) {
    ScopedTimeZone zone("UTC-14");
    const std::uint64_t now = kBase + 30 * kDay;
    {
        BlockedMessageFile file;
        OpenFile(file);
        ASSERT_TRUE(file.Append(DeliveredAt(now - 23 * 3600 * kSecond)));
    }
    ScopedNow clock(now);
    BlockedMessageFile file;
    OpenFile(file);
    file.Purge(86400);
    EXPECT_EQ(file.Count(), 1u);
}

TEST_F(BlockedMessageFileTest, PurgeKeepsTheFileUsableThroughTheSameObject) {
    AppendNumbered(0, 4);
    ScopedNow clock(kBase + 2 * kSecond + kDay);
    BlockedMessageFile file;
    OpenFile(file);
    file.Purge(86400);
    EXPECT_EQ(file.Count(), 2u);
    ASSERT_TRUE(file.Append(Numbered(4)));
    BlockedMessageRecord record{};
    ASSERT_TRUE(file.ReadAt(2, record));
    EXPECT_EQ(NumberOf(record), 4);
    EXPECT_EQ(WholeFileNumbers(path_), Range(2, 5));
}

// The handler may hold the file open while the application's purge replaces it; its append
// must land in the file that the path names now, not in the replaced one.
TEST_F(BlockedMessageFileTest, AnAppendAfterAnotherObjectsPurgeLandsInTheNewFile) {
    AppendNumbered(0, 3);
    BlockedMessageFile handler;
    OpenFile(handler);
    {
        ScopedNow clock(kBase + kSecond + kDay);
        BlockedMessageFile application;
        OpenFile(application);
        application.Purge(86400);
    }
    ASSERT_TRUE(handler.Append(Numbered(3)));
    EXPECT_EQ(WholeFileNumbers(path_), Range(1, 4));
    EXPECT_EQ(handler.Count(), 3u);
}

// ---- Removing one record

struct RemoveRow {
    const char* name;
    std::uint32_t index;
    bool sameRecord;  // the caller hands in the record that lies at index
    BlockedMessageFile::RemoveResult result;
    std::vector<long long> left;
};

class RemoveTest : public BlockedMessageFileTest, public ::testing::WithParamInterface<RemoveRow> {};

TEST_P(RemoveTest, TakesOutExactlyTheRecordTheCallerReadOrNothing) {
    const RemoveRow& row = GetParam();
    AppendNumbered(0, 3);
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(path_);
    bytes[0] = 0x5A;                         // a header of other bytes than ours stays as it is
    bytes.resize(bytes.size() + 100, 0xAB);  // an append cut short by a crash
    test::WriteFileBytes(path_, bytes);

    BlockedMessageFile file;
    OpenFile(file);
    BlockedMessageRecord expected = Numbered(row.sameRecord ? row.index : 7);
    EXPECT_EQ(file.Remove(row.index, expected), row.result);

    if (row.result == BlockedMessageFile::RemoveResult::Removed) {
        EXPECT_EQ(test::ReadFileBytes(path_)[0], 0x5A);
        EXPECT_EQ(WholeFileNumbers(path_), row.left);
        EXPECT_EQ(file.Count(), row.left.size());
    } else {
        EXPECT_EQ(test::ReadFileBytes(path_), bytes) << "a refused removal writes nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RemoveTest,
    ::testing::Values(RemoveRow{"TheOldest", 0, true, BlockedMessageFile::RemoveResult::Removed, {1, 2}},
                      RemoveRow{"OneInTheMiddle", 1, true, BlockedMessageFile::RemoveResult::Removed, {0, 2}},
                      RemoveRow{"TheNewest", 2, true, BlockedMessageFile::RemoveResult::Removed, {0, 1}},
                      RemoveRow{"ARecordOtherThanTheOneRead", 1, false, BlockedMessageFile::RemoveResult::Changed, {}},
                      RemoveRow{"AnIndexPastTheRecords", 3, true, BlockedMessageFile::RemoveResult::Changed, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Whole texts of long messages, beside their records

// Message i of three: 0 and 2 are longer than a record holds, delivered 3 days, 2 days and 1 hour ago.
std::u16string LongText(int i) {
    std::u16string text = i == 1 ? u"short" : std::u16string(i == 0 ? 611 : 638, static_cast<char16_t>(u'a' + i));
    return text + u" end";
}
const std::uint64_t kWholeNow = kBase + 30 * kDay;
BlockedMessageRecord LongRecord(int i) {
    const std::uint64_t ages[] = {3 * kDay, 2 * kDay, 3600 * kSecond};
    return MakeBlockedMessageRecord(u"+15550100", LongText(i).c_str(), u"Ann", device::Split(kWholeNow - ages[i]));
}

struct WholeTextRow {
    const char* name;
    std::function<void(BlockedMessageFile&, const std::filesystem::path& texts)> act;
    std::vector<int> left;  // the messages whose records are left, in file order
};
void PrintTo(const WholeTextRow& row, std::ostream* out) { *out << row.name; }

class WholeTextTest : public BlockedMessageFileTest, public ::testing::WithParamInterface<WholeTextRow> {};

TEST_P(WholeTextTest, RecordsStayAsTheyAreAndEachKeepsItsWholeText) {
    ScopedNow clock(kWholeNow);
    BlockedMessageFile file;
    OpenFile(file);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(file.Append(LongRecord(i), LongText(i)));
    const auto texts = path_.parent_path() / "MesagesText.dat";
    GetParam().act(file, texts);

    std::vector<BlockedMessageRecord> records = RawRecords(path_);
    ASSERT_EQ(records.size(), GetParam().left.size());
    std::size_t longOnes = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const int i = GetParam().left[r];
        const BlockedMessageRecord expected = LongRecord(i);
        EXPECT_EQ(std::memcmp(&records[r], &expected, sizeof expected), 0) << "record " << r;
        EXPECT_EQ(file.WholeSubject(records[r]), LongText(i)) << "record " << r;
        longOnes += i != 1;
    }
    std::vector<WholeTextEntry> entries;
    ASSERT_TRUE(ReadWholeTexts(ToUtf16(texts.string()), entries));
    EXPECT_EQ(entries.size(), longOnes) << "an entry without its record is dropped";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WholeTextTest,
    ::testing::Values(WholeTextRow{"Appended", [](BlockedMessageFile&, const std::filesystem::path&) {}, {0, 1, 2}},
                      WholeTextRow{"PurgedWithTheirRecords",
                                   [](BlockedMessageFile& f, const std::filesystem::path&) { f.Purge(86400); },
                                   {2}},
                      WholeTextRow{"EmptiedWithTheirRecords",
                                   [](BlockedMessageFile& f, const std::filesystem::path&) { f.Clear(); },
                                   {}},
                      WholeTextRow{"RemovedWithTheirRecord",
                                   [](BlockedMessageFile& f, const std::filesystem::path&) {
                                       ASSERT_EQ(f.Remove(0, LongRecord(0)), BlockedMessageFile::RemoveResult::Removed);
                                   },
                                   {1, 2}},
                      // A kill between an entry and its record, then a writer killed in the middle of an entry.
                      WholeTextRow{"AnEntryWithoutItsRecordAndATornTailGoAtThePurge",
                                   [](BlockedMessageFile& f, const std::filesystem::path& texts) {
                                       const BlockedMessageRecord lost = LongRecord(2);
                                       ASSERT_TRUE(AppendWholeText(ToUtf16(texts.string()), lost, u"never recorded"));
                                       auto bytes = test::ReadFileBytes(texts);
                                       bytes.resize(bytes.size() + 900, 0x56);
                                       test::WriteFileBytes(texts, bytes);
                                       f.Purge(30 * 86400);
                                   },
                                   {0, 1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Record texts

struct TextRow {
    const char* name;
    std::u16string text;
    std::size_t field;  // 32 address, 256 subject, 128 name
    std::size_t kept;   // units of the text that the field keeps
};

class RecordTextTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(RecordTextTest, TextIsCutToLeaveAZeroUnitAndKeepPairsWhole) {
    const TextRow& row = GetParam();
    BlockedMessageRecord record = MakeBlockedMessageRecord(
        row.field == 32 ? row.text.c_str() : nullptr, row.field == 256 ? row.text.c_str() : nullptr,
        row.field == 128 ? row.text.c_str() : nullptr, FILETIME{1, 2});
    const char16_t* field = row.field == 32    ? record.senderAddress
                            : row.field == 256 ? record.subject
                                               : record.senderName;
    EXPECT_EQ(std::u16string(field, row.kept), row.text.substr(0, row.kept));
    for (std::size_t i = row.kept; i < row.field; ++i) ASSERT_EQ(field[i], 0) << "unit " << i;
    // The other fields stay empty and the time is in place.
    EXPECT_EQ(record.deliveryTime.dwLowDateTime, 1u);
    EXPECT_EQ(record.deliveryTime.dwHighDateTime, 2u);
    if (row.field != 32) {
        EXPECT_EQ(record.senderAddress[0], 0);
    }
    if (row.field != 256) {
        EXPECT_EQ(record.subject[0], 0);
    }
}

const std::u16string kPair = u"\U0001F600";  // one character, two units

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordTextTest,
    ::testing::Values(TextRow{"Subject255UnitsFitsWithItsZeroLast", std::u16string(255, u's'), 256, 255},
                      TextRow{"Subject256UnitsIsCutTo255", std::u16string(256, u's'), 256, 255},
                      TextRow{"LongSubjectIsCutTo255", std::u16string(1000, u's'), 256, 255},
                      TextRow{"PairAcrossTheCutIsDroppedWhole", std::u16string(254, u's') + kPair, 256, 254},
                      TextRow{"PairBeforeTheCutIsKept", std::u16string(253, u's') + kPair + u"t", 256, 255},
                      TextRow{"Address31UnitsFits", std::u16string(31, u'1'), 32, 31},
                      TextRow{"LongAddressIsCutTo31", std::u16string(40, u'1'), 32, 31},
                      TextRow{"PairAcrossTheNameCut", std::u16string(126, u'n') + kPair, 128, 126},
                      TextRow{"EmptyText", u"", 128, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockedMessageRecord, NullTextsStayEmpty) {
    BlockedMessageRecord record = MakeBlockedMessageRecord(nullptr, nullptr, nullptr, FILETIME{});
    BlockedMessageRecord zero{};
    EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0);
}

// ---- Failures and other processes

int WaitForExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A full disk is stood in for by a file size limit: the append that does not fit reports false.
TEST_F(BlockedMessageFileTest, AnAppendThatCannotBeWrittenWholeReportsFalse) {
    BlockedMessageFile file;
    OpenFile(file);
    {
        test::ScopedFileSizeLimit limit(4 + 840 + 100);
        EXPECT_TRUE(file.Append(Numbered(0)));
        EXPECT_FALSE(file.Append(Numbered(1)));
    }
    EXPECT_EQ(file.Count(), 1u);
}

// A purge killed at any moment leaves the old file or the new one, each whole. The child
// appends and purges a large file in a loop, the clock moving on a second per round, and is
// killed at a different moment each time.
TEST_F(BlockedMessageFileTest, APurgeKilledHalfWayLeavesTheFileWhole) {
    constexpr std::uint64_t kRecords = 4000;
    std::vector<std::uint8_t> bytes(4 + kRecords * 840);
    for (std::uint64_t i = 0; i < kRecords; ++i) {
        BlockedMessageRecord record = Numbered(i);
        std::memcpy(bytes.data() + 4 + i * 840, &record, 840);
    }
    test::WriteFileBytes(path_, bytes);
    for (int round = 0; round < 6; ++round) {
        std::vector<long long> numbers = WholeFileNumbers(path_);
        ASSERT_FALSE(numbers.empty());
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            BlockedMessageFile file;
            file.SetPath(ToUtf16(path_.string()));
            file.Open();
            for (auto next = static_cast<std::uint64_t>(numbers.back()) + 1;; ++next) {
                device::SetNowForTesting(device::FromFileTime(kBase + (next - kRecords + 1) * kSecond + kDay));
                file.Purge(86400);
                if (!file.Append(Numbered(next))) _exit(1);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 37 * round));
        kill(child, SIGKILL);
        EXPECT_EQ(WaitForExit(child), 128 + SIGKILL);

        std::vector<long long> after = WholeFileNumbers(path_);
        ASSERT_FALSE(after.empty());
        // Records leave only from the front and arrive only at the end, one by one.
        EXPECT_EQ(after, Range(after.front(), after.front() + static_cast<long long>(after.size())));
        EXPECT_GE(after.back(), numbers.back());
    }
}

// A child process that appends records 0 .. messages-1 as the handler does, a new object per
// message, and exits 0 when every append succeeded; -1 when it cannot be started.
pid_t ForkAppender(const std::filesystem::path& path, long long messages) {
    pid_t appender = fork();
    if (appender != 0) return appender;
    for (long long i = 0; i < messages; ++i) {
        BlockedMessageFile file;
        file.SetPath(ToUtf16(path.string()));
        file.Open();
        if (!file.Append(Numbered(static_cast<std::uint64_t>(i)))) _exit(1);
    }
    _exit(0);
}

// The handler appends (a new object per message) while the application purges (one object
// throughout); every record younger than the purge age must survive.
TEST_F(BlockedMessageFileTest, AppendsAndPurgesInTwoProcessesLoseNoRecord) {
    constexpr long long kMessages = 300;
    constexpr long long kPurgedBelow = kMessages / 2;
    std::filesystem::path stop = device_.Root() / "stop";
    BlockedMessageFile created;
    OpenFile(created);

    pid_t appender = ForkAppender(path_, kMessages);
    ASSERT_GE(appender, 0);
    pid_t purger = fork();
    ASSERT_GE(purger, 0);
    if (purger == 0) {
        BlockedMessageFile file;
        file.SetPath(ToUtf16(path_.string()));
        file.Open();
        bool last = false;
        while (!last) {
            last = std::filesystem::exists(stop);
            // Purge all but the newest few records, never at or above kPurgedBelow.
            long long newest = -1;
            BlockedMessageRecord record{};
            std::uint32_t count = file.Count();
            if (count > 0 && file.ReadAt(count - 1, record)) newest = NumberOf(record);
            long long below = last ? kPurgedBelow : std::min(newest - 3, kPurgedBelow);
            if (below <= 0) continue;
            device::SetNowForTesting(device::FromFileTime(kBase + static_cast<std::uint64_t>(below) * kSecond + kDay));
            file.Purge(86400);
        }
        _exit(0);
    }
    EXPECT_EQ(WaitForExit(appender), 0);
    std::ofstream(stop).put('x');
    EXPECT_EQ(WaitForExit(purger), 0);

    EXPECT_EQ(WholeFileNumbers(path_), Range(kPurgedBelow, kMessages));
}

// The handler appends (a new object per message) while VelmoLight removes the even-numbered
// records one at a time; every odd-numbered record must survive, in order.
TEST_F(BlockedMessageFileTest, AppendsAndRemovalsInTwoProcessesLoseNoRecord) {
    constexpr long long kMessages = 200;
    std::filesystem::path stop = device_.Root() / "stop";
    BlockedMessageFile created;
    OpenFile(created);

    pid_t appender = ForkAppender(path_, kMessages);
    ASSERT_GE(appender, 0);
    pid_t remover = fork();
    ASSERT_GE(remover, 0);
    if (remover == 0) {
        BlockedMessageFile file;
        file.SetPath(ToUtf16(path_.string()));
        file.Open();
        for (bool last = false, removed = true; !last || removed;) {
            // Once the appender is done, one more pass that finds nothing to remove ends the loop.
            if (!removed) {
                last = std::filesystem::exists(stop);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            removed = false;
            for (std::uint32_t index = 0; index < file.Count(); ++index) {
                BlockedMessageRecord record{};
                if (!file.ReadAt(index, record) || NumberOf(record) % 2 != 0) continue;
                if (file.Remove(index, record) != BlockedMessageFile::RemoveResult::Removed) _exit(1);
                removed = true;
                break;
            }
        }
        _exit(0);
    }
    EXPECT_EQ(WaitForExit(appender), 0);
    std::ofstream(stop).put('x');
    EXPECT_EQ(WaitForExit(remover), 0);

    std::vector<long long> odd;
    for (long long i = 1; i < kMessages; i += 2) odd.push_back(i);
    EXPECT_EQ(WholeFileNumbers(path_), odd);
}

}  // namespace
