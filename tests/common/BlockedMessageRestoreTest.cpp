#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/BlockedMessageRestore.h"
#include "device/Clock.h"
#include "device/MessageStore.h"
#include "device/SmsTransport.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

using Properties = std::vector<std::pair<ULONG, decltype(device::Property::value)>>;

const device::FileTimePoint kArrived = std::chrono::sys_days{std::chrono::year{2026} / 3 / 1} + std::chrono::hours{9};

// Three messages dismissed in this order; the middle one is the one restored.
const device::IncomingSms kSms[] = {
    {u"+1 555 0100", u"Ada Marsh", u"Report tomorrow.", kArrived},
    {u"+1 555 0199", u"Prize Desk", u"You have won a cruise!\nReply YES.", kArrived + std::chrono::minutes{5}},
    {u"+1 555 0110", u"", u"Depot closes at nine.", kArrived + std::chrono::minutes{9}},
};

BlockedMessageRecord RecordOf(const device::IncomingSms& sms) {
    return MakeBlockedMessageRecord(sms.number.c_str(), sms.text.c_str(), sms.name.c_str(),
                                    device::Split(device::FileTimeOf(*sms.deliveryTime)));
}

Properties Sorted(const std::vector<device::Property>& properties) {
    Properties sorted;
    for (const auto& property : properties) sorted.emplace_back(property.tag, property.value);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// Where the disturbance of a row comes from.
enum class Disturbance { None, FileEmptiedBefore, FileEmptiedWhileTheInboxIsWritten, NoInbox };

class BlockedMessageRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = device::ToUtf16((device_.InstallAppPath() / "Mesages.dat").string());
        BlockedMessageFile file;
        Open(file);
        for (const auto& sms : kSms) ASSERT_TRUE(file.Append(RecordOf(sms)));
        before_ = test::ReadFileBytes(DataFile());
    }

    std::filesystem::path DataFile() const { return device::ToUtf8(path_); }
    void Open(BlockedMessageFile& file) {
        file.SetPath(path_);
        file.Open();
        ASSERT_TRUE(file.IsOpen());
    }
    void EmptyTheFile() {
        BlockedMessageFile other;
        Open(other);
        other.Clear();
    }
    // The file as it was with record index taken out.
    std::vector<std::uint8_t> Without(std::size_t index) const {
        std::vector<std::uint8_t> bytes = before_;
        auto removed = bytes.begin() + static_cast<std::ptrdiff_t>(4 + index * 840);
        bytes.erase(removed, removed + 840);
        return bytes;
    }

    RestoreResult Restore(Disturbance disturbance, const std::function<void(RestoreStep)>& afterStep = {}) {
        device::MessageStore store;
        device::EntryId inbox = disturbance == Disturbance::NoInbox ? device::EntryId(17, 0xEE) : store.InboxEntryId();
        BlockedMessageFile file;
        Open(file);
        BlockedMessageRecord record{};
        EXPECT_TRUE(file.ReadAt(1, record));
        if (disturbance == Disturbance::FileEmptiedBefore) EmptyTheFile();
        return RestoreBlockedMessage(store.Interface(), static_cast<ULONG>(inbox.size()),
                                     reinterpret_cast<LPENTRYID>(inbox.data()), file, 1, record, [&](RestoreStep step) {
                                         if (afterStep) afterStep(step);
                                         if (step == RestoreStep::PropertiesStored &&
                                             disturbance == Disturbance::FileEmptiedWhileTheInboxIsWritten) {
                                             EmptyTheFile();
                                         }
                                     });
    }

    std::vector<device::StoredMessage> Inbox() const { return device::MessageStore().ListFolder(u"Inbox"); }

    test::TempDevice device_;
    std::u16string path_;
    std::vector<std::uint8_t> before_;
};

struct ResultRow {
    const char* name;
    Disturbance disturbance;
    RestoreResult result;
};

class RestoreResultTest : public BlockedMessageRestoreTest, public ::testing::WithParamInterface<ResultRow> {};

TEST_P(RestoreResultTest, TheMessageIsInTheInboxAsTheTransportStoredItOrNothingChanges) {
    const ResultRow& row = GetParam();
    ASSERT_EQ(Restore(row.disturbance), row.result);
    std::vector<device::StoredMessage> inbox = Inbox();
    if (row.result == RestoreResult::Restored) {
        ASSERT_EQ(inbox.size(), 1u);
        std::vector<device::Property> restored;
        for (const auto& property : inbox[0].properties) {
            if (property.tag != PR_ENTRYID) restored.push_back(property);
        }
        EXPECT_EQ(Sorted(restored), Sorted(device::SmsProperties(kSms[1])));
        EXPECT_EQ(test::ReadFileBytes(DataFile()), Without(1));
    } else {
        EXPECT_TRUE(inbox.empty()) << "a refused restore leaves nothing in the Inbox";
        std::size_t size = row.disturbance == Disturbance::NoInbox ? before_.size() : 4;
        EXPECT_EQ(test::ReadFileBytes(DataFile()).size(), size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreResultTest,
    ::testing::Values(ResultRow{"Restored", Disturbance::None, RestoreResult::Restored},
                      ResultRow{"FileChangedSinceTheRecordWasRead", Disturbance::FileEmptiedBefore,
                                RestoreResult::FileChanged},
                      ResultRow{"FileChangedWhileTheInboxWasWritten", Disturbance::FileEmptiedWhileTheInboxIsWritten,
                                RestoreResult::FileChanged},
                      ResultRow{"InboxCannotBeOpened", Disturbance::NoInbox, RestoreResult::InboxUnavailable}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Killed half-way

struct KillRow {
    const char* name;
    RestoreStep killedAfter;
    bool recordRemoved;
    bool messageWhole;  // the Inbox copy holds every property, not only its creation
};

class RestoreKillTest : public BlockedMessageRestoreTest, public ::testing::WithParamInterface<KillRow> {};

// A restore killed after any of its writes leaves the message in the Inbox, in Mesages.dat or
// in both, never in neither.
TEST_P(RestoreKillTest, TheMessageIsNeverLost) {
    const KillRow& row = GetParam();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Restore(Disturbance::None, [&row](RestoreStep step) {
            if (step == row.killedAfter) raise(SIGKILL);
        });
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

    EXPECT_EQ(test::ReadFileBytes(DataFile()), row.recordRemoved ? Without(1) : before_);
    // A message whose properties were never stored is in no listing.
    std::vector<device::StoredMessage> inbox = Inbox();
    ASSERT_EQ(inbox.size(), row.messageWhole ? 1u : 0u);
    if (inbox.empty()) return;
    const device::Property* text = inbox[0].Find(PR_SUBJECT_W);
    EXPECT_TRUE(text != nullptr && text->AsText() != nullptr && *text->AsText() == kSms[1].text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreKillTest,
    ::testing::Values(KillRow{"AfterTheMessageIsCreated", RestoreStep::MessageCreated, false, false},
                      KillRow{"AfterItsPropertiesAreStored", RestoreStep::PropertiesStored, false, true},
                      KillRow{"AfterTheRecordIsRemoved", RestoreStep::RecordRemoved, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
