#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/ContactStateRebuild.h"
#include "common/Types.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;
namespace fs = std::filesystem;

namespace {

// The (action, key) entries of ContactsInfo.dat as they lie on disk after the header.
std::vector<std::pair<std::int32_t, std::int32_t>> EntriesOnDisk(const fs::path& file) {
    auto bytes = velmo::test::ReadFileBytes(file);
    std::vector<std::pair<std::int32_t, std::int32_t>> entries;
    for (std::size_t at = 128; at + 8 <= bytes.size(); at += 8) {
        std::int32_t action = 0;
        std::int32_t key = 0;
        std::memcpy(&action, bytes.data() + at, 4);
        std::memcpy(&key, bytes.data() + at + 4, 4);
        entries.emplace_back(action, key);
    }
    return entries;
}

class ContactStateRebuildTest : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
    fs::path file = device.Root() / "ContactsInfo.dat";
    std::u16string path = velmo::device::ToUtf16(file.string());
};

struct UnreadableRow {
    const char* name;
    std::function<void(const fs::path&)> make;
    fs::file_type type;
};

class UnreadableContactFile : public ContactStateRebuildTest, public ::testing::WithParamInterface<UnreadableRow> {};

// What sits at the path but cannot be read holds choices that a rebuild from the defaults
// would wipe; the handler must not wait on it either.
TEST_P(UnreadableContactFile, StopsTheRebuildAndIsNoFileToTheHandler) {
    GetParam().make(file);
    ContactStateFile handler;
    ASSERT_TRUE(handler.SetPath(path));
    EXPECT_FALSE(handler.OpenForReading());

    ContactStateFile app;
    ASSERT_TRUE(app.SetPath(path));
    ContactStateRebuild rebuilt = RebuildContactStates(app, {7, 9}, Dismiss);
    EXPECT_TRUE(rebuilt.unreadable);
    EXPECT_FALSE(rebuilt.saved);
    EXPECT_FALSE(rebuilt.opened);
    EXPECT_EQ(rebuilt.contactIndex, (std::vector<std::int32_t>{-1, -1}));
    EXPECT_EQ(fs::status(file).type(), GetParam().type) << "nothing was written over it";
    EXPECT_EQ(app.Add(5, Accept), -1);
    EXPECT_FALSE(app.Save());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnreadableContactFile,
    ::testing::Values(
        UnreadableRow{"Fifo", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, fs::file_type::fifo},
        UnreadableRow{"Directory", [](const fs::path& p) { fs::create_directory(p); }, fs::file_type::directory}),
    [](const auto& info) { return std::string(info.param.name); });

// Two rebuilds at once (two processes, or the command line and VelmoLight): the second
// waits for the first and its change, and so keeps both.
TEST_F(ContactStateRebuildTest, SecondRebuildStartsFromTheFirstOnesResult) {
    ContactStateFile first;
    ASSERT_TRUE(first.SetPath(path));
    ContactStateRebuild held = RebuildContactStates(first, {7, 9}, Accept);
    ASSERT_TRUE(held.saved && held.opened && held.lock.Held());

    auto second = std::async(std::launch::async, [this] {
        ContactStateFile other;
        other.SetPath(path);
        ContactStateRebuild rebuilt = RebuildContactStates(other, {7, 9}, Accept);
        other.Close();
        return rebuilt.saved;
    });
    // Time for a rebuild that does not wait to read the old file.
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_TRUE(first.SetAt(held.contactIndex[1], ContactRecord{Dismiss, 9}));
    first.Close();
    held.lock.Unlock();
    EXPECT_TRUE(second.get());
    using Entries = std::vector<std::pair<std::int32_t, std::int32_t>>;
    EXPECT_EQ(EntriesOnDisk(file),
              (Entries{{Accept, UnknownSenderKey}, {Accept, UndefinedSenderKey}, {Accept, 7}, {Dismiss, 9}}));
}

}  // namespace
