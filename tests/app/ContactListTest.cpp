#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>

#include "FakeContactSource.h"
#include "app/core/ContactList.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

using test::FakeContactSource;
using test::Named;

// The entries of ContactsInfo.dat as they are on disk.
std::vector<ContactRecord> EntriesOnDisk(const std::filesystem::path& file) {
    auto bytes = test::ReadFileBytes(file);
    std::int32_t count = 0;
    std::memcpy(&count, bytes.data() + 44, 4);
    EXPECT_EQ(bytes.size(), 128u + 8u * static_cast<std::size_t>(count));
    std::vector<ContactRecord> entries(static_cast<std::size_t>(count));
    std::memcpy(entries.data(), bytes.data() + 128, entries.size() * 8);
    return entries;
}

class ContactListTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = device_.InstallAppPath();
        char16_t path[ContactStateFile::kPathUnits] = {};
        ASSERT_TRUE(settings_.ContactsInfoPath(path));
        file_.SetPath(path);
    }
    std::filesystem::path DataFile() const { return dir_ / "ContactsInfo.dat"; }
    std::int32_t RowOfKey(std::int32_t key) const {
        for (std::size_t r = 0; r < list_.Rows().size(); ++r) {
            if (list_.Rows()[r].key == key) return static_cast<std::int32_t>(r);
        }
        return -1;
    }
    std::int32_t StoredAction(std::int32_t key) const {
        for (const auto& entry : EntriesOnDisk(DataFile())) {
            if (entry.key == key) return entry.action;
        }
        return -100;
    }

    test::TempDevice device_;
    std::filesystem::path dir_;
    SettingsStore settings_;
    ContactStateFile file_;
    FakeContactSource book_;
    ContactList list_{file_, settings_, book_};
};

TEST_F(ContactListTest, EmptyAddressBookGivesTheTwoFixedRowsAndThe144ByteFile) {
    list_.Load();
    EXPECT_EQ(list_.RowCount(), 2);
    EXPECT_EQ(list_.RowText(0), u"Unknown");
    EXPECT_EQ(list_.RowText(1), u"Undefined");
    EXPECT_EQ(test::ReadFileBytes(DataFile()).size(), 144u);
    EXPECT_EQ(EntriesOnDisk(DataFile()), (std::vector<ContactRecord>{{0, -1}, {0, -2}}));
}

TEST_F(ContactListTest, ReloadKeepsActionsGivesNewContactsTheDefaultAndDropsRemovedOnes) {
    book_.contacts = {Named(10, u"Ann", u"Adams"), Named(11, u"Bob", u"Baker"), Named(12, u"Cid", u"Carter")};
    list_.Load();
    ASSERT_EQ(list_.ChangeAction(RowOfKey(11)), ContactList::Change::Changed);  // Dismiss
    ASSERT_EQ(list_.ChangeAction(ContactList::kUnknownRow), ContactList::Change::Changed);

    settings_.SetDefActionType(SilentAccept);
    book_.contacts = {Named(13, u"Dee", u"Dunn"), Named(12, u"Cid", u"Carter"), Named(11, u"Bob", u"Baker")};
    list_.Load();
    EXPECT_EQ(
        EntriesOnDisk(DataFile()),
        (std::vector<ContactRecord>{{Dismiss, -1}, {Accept, -2}, {SilentAccept, 13}, {Accept, 12}, {Dismiss, 11}}));
    ContactRecord baker;
    ASSERT_TRUE(list_.RowRecord(RowOfKey(11), baker));
    EXPECT_EQ(baker, (ContactRecord{Dismiss, 11}));
    EXPECT_EQ(RowOfKey(10), -1);
}

TEST_F(ContactListTest, SortsContactsByNameIgnoringCaseBelowTheFixedRows) {
    book_.contacts = {Named(1, u"", u"carter"), Named(2, u"", u"Adams"), Named(3, u"", u""), Named(4, u"", u"baker"),
                      Named(5, u"", u"Aaron")};
    list_.Load();
    std::vector<std::u16string> texts;
    for (std::int32_t r = 0; r < list_.RowCount(); ++r) texts.push_back(list_.RowText(r));
    EXPECT_EQ(texts,
              (std::vector<std::u16string>{u"Unknown", u"Undefined", u"", u"Aaron", u"Adams", u"baker", u"carter"}));
}

TEST_F(ContactListTest, SortFollowsTheContactFormatReadAtLoad) {
    book_.contacts = {Named(1, u"Zed", u"Adams"), Named(2, u"Amy", u"Young")};
    settings_.SetContactFormat(FirstLast);
    list_.Load();
    EXPECT_EQ(list_.CachedFormat(), FirstLast);
    EXPECT_EQ(list_.RowText(2), u"Amy Young");
    settings_.SetContactFormat(LastCommaFirst);
    list_.Load();
    EXPECT_EQ(list_.RowText(2), u"Adams, Zed");
}

TEST_F(ContactListTest, ChangingARowStepsAcceptDismissSilentAcceptAndIsOnDiskAtOnce) {
    book_.contacts = {Named(20, u"Ann", u"Adams")};
    list_.Load();
    std::vector<std::int32_t> seen;
    for (int tap = 0; tap < 3; ++tap) {
        ASSERT_EQ(list_.ChangeAction(2), ContactList::Change::Changed);
        seen.push_back(StoredAction(20));
    }
    EXPECT_EQ(seen, (std::vector<std::int32_t>{Dismiss, SilentAccept, Accept}));
}

TEST_F(ContactListTest, OtherItemsModesRefuseTheChange) {
    book_.contacts = {Named(20, u"Ann", u"Adams")};
    list_.Load();
    for (std::int16_t mode :
         {std::int16_t{AcceptAll}, std::int16_t{SilentAcceptAll}, std::int16_t{DismissAll}, std::int16_t{9}}) {
        settings_.SetItemsState(mode);
        EXPECT_EQ(list_.ChangeAction(2), ContactList::Change::NeedsUserSettings) << mode;
    }
    EXPECT_EQ(StoredAction(20), Accept);
}

struct IconRow {
    const char* name;
    std::int16_t itemsMode;
    std::int32_t action;
    int icon;
};

class ContactListIconTest : public ContactListTest, public testing::WithParamInterface<IconRow> {};

TEST_P(ContactListIconTest, ShowsThePictureOfTheModeOrTheAction) {
    book_.contacts = {Named(30, u"Ann", u"Adams")};
    list_.Load();
    ASSERT_TRUE(file_.SetAt(2, {GetParam().action, 30}));
    EXPECT_EQ(list_.IconIndex(2, GetParam().itemsMode), GetParam().icon);
}

INSTANTIATE_TEST_SUITE_P(Modes, ContactListIconTest,
                         testing::Values(IconRow{"UserAccept", UserSettings, Accept, 0},
                                         IconRow{"UserDismiss", UserSettings, Dismiss, 2},
                                         IconRow{"UserSilent", UserSettings, SilentAccept, 1},
                                         IconRow{"UserOutOfRangeHasNone", UserSettings, 3, -1},
                                         IconRow{"UserNegativeHasNone", UserSettings, -1, -1},
                                         IconRow{"AcceptAll", AcceptAll, Dismiss, 0},
                                         IconRow{"SilentAcceptAll", SilentAcceptAll, Accept, 1},
                                         IconRow{"DismissAll", DismissAll, SilentAccept, 2},
                                         IconRow{"UnknownModeShowsStoredNumber", 7, Dismiss, 1},
                                         IconRow{"UnknownModeOutOfRangeHasNone", 7, 5, -1}),
                         [](const testing::TestParamInfo<IconRow>& info) { return info.param.name; });

TEST_F(ContactListTest, AnActionOutsideTheThreeStepsToAccept) {
    book_.contacts = {Named(40, u"Ann", u"Adams")};
    list_.Load();
    for (std::int32_t stored : {3, -7, 2147483647}) {
        ASSERT_TRUE(file_.SetAt(2, {stored, 40}));
        ASSERT_EQ(list_.ChangeAction(2), ContactList::Change::Changed);
        EXPECT_EQ(StoredAction(40), Accept) << stored;
    }
}

TEST_F(ContactListTest, WithoutAnAddressBookTheFileIsKeptAndTheFixedRowsReadIt) {
    book_.contacts = {Named(50, u"Ann", u"Adams"), Named(51, u"Bob", u"Baker")};
    list_.Load();
    list_.ChangeAction(RowOfKey(51));
    list_.ChangeAction(ContactList::kUndefinedRow);
    list_.ChangeAction(ContactList::kUndefinedRow);
    auto before = test::ReadFileBytes(DataFile());

    book_.open = false;
    list_.Load();
    EXPECT_EQ(test::ReadFileBytes(DataFile()), before);
    EXPECT_EQ(list_.RowCount(), 2);
    EXPECT_EQ(list_.IconIndex(ContactList::kUndefinedRow, UserSettings), 1);  // Silent accept
    ASSERT_EQ(list_.ChangeAction(ContactList::kUnknownRow), ContactList::Change::Changed);
    EXPECT_EQ(StoredAction(-1), Dismiss);
    EXPECT_EQ(StoredAction(51), Dismiss);
}

TEST_F(ContactListTest, WithoutAnAddressBookOrAFileTheFixedRowsStartWithAccept) {
    book_.open = false;
    list_.Load();
    EXPECT_EQ(EntriesOnDisk(DataFile()), (std::vector<ContactRecord>{{0, -1}, {0, -2}}));
    EXPECT_EQ(list_.IconIndex(ContactList::kUnknownRow, UserSettings), 0);
}

TEST_F(ContactListTest, AContactThatCannotBeFetchedHasNoNameNoEntryAndCannotBeChanged) {
    book_.contacts = {Named(60, u"Ann", u"Adams"), Named(61, u"Bob", u"Baker"), Named(62, u"Cid", u"Carter")};
    book_.unfetchable = {2};
    list_.Load();
    EXPECT_EQ(list_.RowCount(), 5);
    EXPECT_EQ(EntriesOnDisk(DataFile()), (std::vector<ContactRecord>{{0, -1}, {0, -2}, {0, 60}, {0, 62}}));
    // The nameless row sorts first among the contacts.
    EXPECT_EQ(list_.RowText(2), u"");
    EXPECT_EQ(list_.IconIndex(2, UserSettings), -1);
    EXPECT_EQ(list_.ChangeAction(2), ContactList::Change::NotChangeable);
    EXPECT_EQ(EntriesOnDisk(DataFile()), (std::vector<ContactRecord>{{0, -1}, {0, -2}, {0, 60}, {0, 62}}));
}

TEST_F(ContactListTest, WhenTheFileCannotBeReplacedTheRowsNameTheEntriesOfTheOldOne) {
    book_.contacts = {Named(70, u"Ann", u"Adams")};
    list_.Load();
    list_.ChangeAction(2);  // Adams: Dismiss
    auto before = test::ReadFileBytes(DataFile());
    ASSERT_EQ(before.size(), 152u);

    // Baker comes first in the address book, so the new file would put him where Adams was.
    book_.contacts = {Named(71, u"Bob", u"Baker"), Named(70, u"Ann", u"Adams")};
    {
        test::ScopedFileSizeLimit limit(155);
        list_.Load();
    }
    EXPECT_EQ(test::ReadFileBytes(DataFile()), before);
    std::int32_t adams = RowOfKey(70);
    std::int32_t baker = RowOfKey(71);
    EXPECT_EQ(list_.IconIndex(adams, UserSettings), 2);
    EXPECT_EQ(list_.IconIndex(baker, UserSettings), -1);
    EXPECT_EQ(list_.RowText(baker), u"Baker Bob");
    EXPECT_EQ(list_.ChangeAction(baker), ContactList::Change::NotChangeable);
    ASSERT_EQ(list_.ChangeAction(adams), ContactList::Change::Changed);
    EXPECT_EQ(StoredAction(70), SilentAccept);
    EXPECT_EQ(EntriesOnDisk(DataFile()).size(), 3u);
}

TEST_F(ContactListTest, AFileThatCannotBeReadIsNeverSavedOver) {
    ASSERT_EQ(mkfifo(DataFile().c_str(), 0600), 0);
    book_.contacts = {Named(80, u"Ann", u"Adams"), Named(81, u"Bob", u"Baker")};
    list_.Load();
    EXPECT_EQ(list_.RowCount(), 4);
    EXPECT_EQ(list_.RowText(RowOfKey(81)), u"Baker Bob");
    EXPECT_EQ(list_.IconIndex(RowOfKey(80), UserSettings), -1);
    EXPECT_EQ(list_.ChangeAction(RowOfKey(80)), ContactList::Change::NotChangeable);
    EXPECT_EQ(std::filesystem::status(DataFile()).type(), std::filesystem::file_type::fifo);
}

struct FindRowCase {
    const char* name;
    std::u16string text;
    std::u16string found;
};

class QuickFindSearchTest : public ContactListTest, public testing::WithParamInterface<FindRowCase> {};

TEST_P(QuickFindSearchTest, SelectsTheFirstNameAtOrAfterTheText) {
    book_.contacts = {Named(3, u"", u"Carter"), Named(1, u"", u"Adams"), Named(2, u"", u"Baker"), Named(4, u"", u"")};
    list_.Load();
    EXPECT_EQ(list_.RowText(list_.FindRow(GetParam().text)), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QuickFindSearchTest,
    testing::Values(FindRowCase{"LetterB", u"b", u"Baker"}, FindRowCase{"PastTheEndGivesLastRow", u"zz", u"Carter"},
                    FindRowCase{"LetterA", u"a", u"Adams"}, FindRowCase{"OtherCase", u"BAK", u"Baker"},
                    FindRowCase{"WholeName", u"carter", u"Carter"}, FindRowCase{"BetweenNames", u"bz", u"Carter"}),
    [](const testing::TestParamInfo<FindRowCase>& info) { return info.param.name; });

TEST_F(ContactListTest, QuickFindWithoutContactsOrNamesFallsBackToFixedPlaces) {
    list_.Load();
    EXPECT_EQ(list_.FindRow(u"a"), ContactList::kUnknownRow);
    book_.contacts = {Named(1, u"", u""), Named(2, u"", u"")};
    list_.Load();
    EXPECT_EQ(list_.FindRow(u"a"), ContactList::kFirstContactRow);
}

}  // namespace
}  // namespace velmo
