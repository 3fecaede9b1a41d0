#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/SettingsStore.h"
#include "device/Com.h"
#include "device/ContactStore.h"
#include "device/DeviceRoot.h"
#include "device/Poom.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "handler/MessageActions.h"
#include "support/FileHelpers.h"
#include "support/HandlerDevice.h"
#include "support/StoreDouble.h"

using namespace velmo;
using velmo::device::EntryId;
using velmo::device::StoredMessage;
using velmo::test::HandlerDevice;
using velmo::test::kDelivered;
using velmo::test::kUnwritten;
using velmo::test::Outcome;
using velmo::test::ReadFileBytes;
using velmo::test::Sms;
using velmo::test::StoreDouble;
using velmo::test::StoreFaults;
namespace fs = std::filesystem;

namespace {

using velmo::test::PutLe32;

using Bytes = std::vector<std::uint8_t>;

// Counts the address book's application objects created while it lives.
class AddressBookOpens {
public:
    AddressBookOpens() : previous_(device::RegisterBuiltInClass(CLSID_Application, &Create)) { count_ = 0; }
    ~AddressBookOpens() { device::RegisterBuiltInClass(CLSID_Application, previous_); }
    AddressBookOpens(const AddressBookOpens&) = delete;
    AddressBookOpens& operator=(const AddressBookOpens&) = delete;

    int Count() const { return count_; }

private:
    static HRESULT Create(IUnknown* outer, REFIID riid, void** object) {
        ++count_;
        return device::CreateAddressBookApplication(outer, riid, object);
    }

    static inline int count_ = 0;
    device::ClassCreator previous_;
};

// A setting as the registry holds it, bypassing the settings store.
std::optional<DWORD> StoredDword(const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

void PutText(Bytes& bytes, std::size_t offset, std::size_t units, const std::u16string& text) {
    for (std::size_t i = 0; i < std::min(text.size(), units - 1); ++i) {
        bytes[offset + 2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        bytes[offset + 2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
}

// The 840 bytes a dismissed SMS must leave in Mesages.dat, spelled out field by field.
Bytes RecordBytes(const Sms& sms) {
    Bytes bytes(840, 0);
    PutText(bytes, 0, 32, sms.from);
    PutText(bytes, 64, 256, sms.text.value_or(u""));
    PutText(bytes, 576, 128, sms.name.value_or(u""));
    PutLe32(bytes, 832, kDelivered.dwLowDateTime);
    PutLe32(bytes, 836, kDelivered.dwHighDateTime);
    return bytes;
}

// The records of Mesages.dat, each as its 840 bytes; none when the file is missing.
std::vector<Bytes> RecordsOnDisk(const fs::path& file) {
    if (!fs::exists(file)) return {};
    Bytes bytes = ReadFileBytes(file);
    EXPECT_GE(bytes.size(), 4u) << "the header is missing";
    std::vector<Bytes> records;
    for (std::size_t at = 4; at + 840 <= bytes.size(); at += 840)
        records.emplace_back(bytes.begin() + at, bytes.begin() + at + 840);
    EXPECT_EQ((bytes.size() - 4) % 840, 0u) << "a torn record";
    return records;
}

// The address book of every test: object identifiers 1, 2 and 3 in this order.
constexpr std::int32_t kAnna = 1;
constexpr std::int32_t kBert = 2;
constexpr std::int32_t kCarla = 3;

void AddContacts() {
    device::ContactStore contacts;
    device::ContactEntry anna;
    anna[device::ContactField::FirstName] = u"Anna";
    anna[device::ContactField::MobileTelephoneNumber] = u"+1 (555) 010-0123";
    device::ContactEntry bert;
    bert[device::ContactField::FirstName] = u"Bert";
    bert[device::ContactField::HomeTelephoneNumber] = u"0171 9876543";
    device::ContactEntry carla;
    carla[device::ContactField::FirstName] = u"Carla";
    carla[device::ContactField::BusinessTelephoneNumber] = u"555 0100 777";
    std::vector<device::ContactEntry> all{anna, bert, carla};
    ASSERT_EQ(contacts.AddAll(all), (std::vector<LONG>{kAnna, kBert, kCarla}));
}

// ContactsInfo.dat as VelmoLight writes it, every row Accept except the given ones.
std::vector<ContactRecord> States(std::vector<ContactRecord> changed) {
    std::vector<ContactRecord> states{
        {Accept, UnknownSenderKey}, {Accept, UndefinedSenderKey}, {Accept, kAnna}, {Accept, kBert}, {Accept, kCarla}};
    for (auto& state : states) {
        for (const auto& change : changed) {
            if (change.key == state.key) state.action = change.action;
        }
    }
    return states;
}

class ProcessMessageTest : public testing::Test {
protected:
    explicit ProcessMessageTest(bool installed = true) : h(installed) { AddContacts(); }

    // The message is in the Inbox as the transport stored it, and nothing was recorded or counted.
    // failed: the handler could not carry out its action, and answers why.
    void ExpectLeftAlone(const Outcome& outcome, const EntryId& id, const Sms& sms, bool failed = false) {
        EXPECT_EQ(FAILED(outcome.result), failed) << std::hex << outcome.result;
        EXPECT_EQ(outcome.handled, MRC_NOT_HANDLED);
        EXPECT_EQ(outcome.eventType, kUnwritten);
        auto inbox = h.Messages().ListFolder(u"Inbox");
        ASSERT_EQ(inbox.size(), 1u);
        ASSERT_EQ(inbox[0].entryId, id);
        auto expected = test::SmsProperties(sms);
        EXPECT_EQ(inbox[0].properties.size(), expected.size());
        for (const auto& property : expected) {
            const auto* stored = inbox[0].Find(property.tag);
            ASSERT_NE(stored, nullptr) << std::hex << property.tag;
            EXPECT_EQ(stored->value, property.value) << std::hex << property.tag;
        }
        EXPECT_EQ(StoredDword(BlockedMsgValue), std::nullopt);
        EXPECT_EQ(StoredDword(SilentMsgValue), std::nullopt);
    }

    void ExpectDismissed(const Outcome& outcome, const Sms& sms) {
        EXPECT_EQ(outcome.result, S_OK);
        EXPECT_EQ(outcome.handled, MRC_HANDLED_DONTCONTINUE);
        EXPECT_EQ(outcome.eventType, fnevObjectDeleted);
        EXPECT_EQ(h.Messages().Count(u"Inbox"), 0u);
        EXPECT_EQ(RecordsOnDisk(h.MessagesFile()), std::vector<Bytes>{RecordBytes(sms)});
        EXPECT_EQ(StoredDword(BlockedMsgValue), 1u);
        EXPECT_EQ(StoredDword(SilentMsgValue), std::nullopt);
    }

    // A read copy of the message holds its place: the copied properties the message has, nothing else.
    void ExpectSilentlyAccepted(const Outcome& outcome, const EntryId& original, const Sms& sms) {
        EXPECT_EQ(outcome.result, S_OK);
        EXPECT_EQ(outcome.handled, MRC_HANDLED_DONTCONTINUE);
        EXPECT_EQ(outcome.eventType, 0x1Cu);
        auto inbox = h.Messages().ListFolder(u"Inbox");
        ASSERT_EQ(inbox.size(), 1u);
        const StoredMessage& copy = inbox[0];
        EXPECT_NE(copy.entryId, original);
        auto incoming = test::SmsProperties(sms);
        std::size_t copied = 0;
        for (ULONG tag : SilentCopyTags) {
            auto from = std::find_if(incoming.begin(), incoming.end(), [&](const auto& p) { return p.tag == tag; });
            const auto* stored = copy.Find(tag);
            if (from == incoming.end()) {
                EXPECT_EQ(stored, nullptr) << std::hex << tag;
                continue;
            }
            ++copied;
            ASSERT_NE(stored, nullptr) << std::hex << tag;
            if (tag == PR_MESSAGE_FLAGS) {
                EXPECT_EQ(*stored->AsNumber(), MSGFLAG_READ);
            } else {
                EXPECT_EQ(stored->value, from->value) << std::hex << tag;
            }
        }
        const auto* name = copy.Find(PR_SENDER_NAME_W);
        EXPECT_EQ(name != nullptr && name->AsText() != nullptr ? std::optional(*name->AsText()) : std::nullopt,
                  sms.name);
        EXPECT_EQ(copy.properties.size(), copied) << "only the message's own properties are copied";
        EXPECT_FALSE(fs::exists(h.MessagesFile()));
        EXPECT_EQ(StoredDword(SilentMsgValue), 1u);
        EXPECT_EQ(StoredDword(BlockedMsgValue), std::nullopt);
    }

    HandlerDevice h;
    AddressBookOpens addressBook;
};

// ---------------------------------------------------------------------------------------------
// Filtering off: nothing is opened or written but the handled result.

struct OffRow {
    const char* name;
    bool installed;
    std::function<void()> settings;
};
void PrintTo(const OffRow& row, std::ostream* out) { *out << row.name; }

class FilteringOff : public testing::TestWithParam<OffRow> {};

TEST_P(FilteringOff, LeavesMessageWithoutOpeningIt) {
    HandlerDevice h(GetParam().installed);
    AddressBookOpens addressBook;
    GetParam().settings();
    Sms sms{u"+15550100123"};
    EntryId id = h.Receive(sms);
    StoreFaults seen;
    StoreDouble store(h.Messages().Interface(), seen);

    Outcome outcome = h.Process(&store, id);

    EXPECT_EQ(outcome.result, S_OK);
    EXPECT_EQ(outcome.handled, MRC_NOT_HANDLED);
    EXPECT_EQ(outcome.eventType, kUnwritten);
    EXPECT_EQ(seen.opens, 0) << "neither the message nor the folder is opened";
    EXPECT_EQ(addressBook.Count(), 0);
    EXPECT_EQ(h.Messages().Count(u"Inbox"), 1u);
    EXPECT_EQ(StoredDword(BlockedMsgValue), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(ProcessMessage, FilteringOff,
                         testing::Values(OffRow{"NoSettingsAtAll", false, [] {}},
                                         OffRow{"Disabled", true, [] { SettingsStore().SetActiveState(Disabled); }},
                                         OffRow{"EmptyScheduleWindow", true,
                                                [] {
                                                    SettingsStore settings;
                                                    settings.SetActiveState(ActiveBySchedule);
                                                    settings.SetStartTime({8, 0, 0});
                                                    settings.SetEndTime({8, 0, 0});
                                                }}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// UserSettings: the sender's own action, from the address book and ContactsInfo.dat.

struct SenderRow {
    const char* name;
    std::u16string from;
    std::optional<std::vector<ContactRecord>> states;  // ContactsInfo.dat, or none
    std::int16_t defActionType;
    std::int32_t expected;
    int addressBookOpens;
    std::optional<std::u16string> senderName = u"Anna";
};
void PrintTo(const SenderRow& row, std::ostream* out) { *out << row.name; }

class SenderAction : public ProcessMessageTest, public testing::WithParamInterface<SenderRow> {};

TEST_P(SenderAction, DecidesMessage) {
    const SenderRow& row = GetParam();
    h.Filter(UserSettings);
    SettingsStore().SetDefActionType(row.defActionType);
    if (row.states) h.WriteContactStates(*row.states);
    Sms sms{row.from, u"Running late", row.senderName};
    EntryId id = h.Receive(sms);

    Outcome outcome = h.Process(id);

    EXPECT_EQ(addressBook.Count(), row.addressBookOpens);
    switch (row.expected) {
        case Accept: ExpectLeftAlone(outcome, id, sms); break;
        case Dismiss: ExpectDismissed(outcome, sms); break;
        case SilentAccept: ExpectSilentlyAccepted(outcome, id, sms); break;
    }
}

const std::u16string kLongName(300, u'x');

INSTANTIATE_TEST_SUITE_P(
    ProcessMessage, SenderAction,
    testing::Values(
        SenderRow{"ContactDismissed", u"+15550100123", States({{Dismiss, kAnna}}), Accept, Dismiss, 1},
        SenderRow{"ContactSilentlyAccepted", u"+15550100123", States({{SilentAccept, kAnna}}), Accept, SilentAccept, 1},
        SenderRow{"SilentCopyOfAMessageWithoutSenderNameHasNone", u"+15550100123", States({{SilentAccept, kAnna}}),
                  Accept, SilentAccept, 1, std::nullopt},
        SenderRow{"ContactAcceptedDespiteDefault", u"+15550100123", States({}), Dismiss, Accept, 1},
        SenderRow{"BracketedNumberAfterName", u"Anna Mobile <+1 555 010-0123>", States({{Dismiss, kAnna}}), Accept,
                  Dismiss, 1},
        SenderRow{"CountryPrefixMatchesTrunkPrefix", u"+49 171 9876543", States({{SilentAccept, kBert}}), Accept,
                  SilentAccept, 1},
        SenderRow{"NumberInNoContactTakesUnknown", u"+44 20 7946 0000", States({{Dismiss, UnknownSenderKey}}), Accept,
                  Dismiss, 1},
        SenderRow{"LettersOnlyTakesUndefinedWithoutAddressBook", u"MyBank",
                  States({{Dismiss, UnknownSenderKey}, {SilentAccept, UndefinedSenderKey}}), Accept, SilentAccept, 0},
        SenderRow{"NoContactsInfoTakesDefActionType", u"+15550100123", std::nullopt, Dismiss, Dismiss, 1},
        SenderRow{"ContactWithoutEntryTakesDefActionType", u"555 0100 777",
                  std::vector<ContactRecord>{{Accept, UnknownSenderKey}, {Accept, UndefinedSenderKey}}, SilentAccept,
                  SilentAccept, 1},
        // Cut at 255 units the text would lose its '<' and count as a sender without digits.
        SenderRow{"SenderTextLongerThan255UnitsKeepsItsAddress", kLongName + u" <+1 555 010-0123>",
                  States({{Dismiss, kAnna}}), Accept, Dismiss, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Dismiss: the record on disk, from whatever properties the message has.

struct RecordRow {
    const char* name;
    Sms sms;
};
void PrintTo(const RecordRow& row, std::ostream* out) { *out << row.name; }

class DismissRecord : public ProcessMessageTest, public testing::WithParamInterface<RecordRow> {};

TEST_P(DismissRecord, IsAppendedBeforeMessageGoes) {
    h.Filter(DismissAll);
    h.WriteContactStates(States({}));

    Outcome outcome = h.Process(h.Receive(GetParam().sms));

    ExpectDismissed(outcome, GetParam().sms);
    EXPECT_EQ(addressBook.Count(), 0) << "DismissAll never asks the address book";
    // A text longer than the record holds is kept whole beside it.
    BlockedMessageFile file;
    file.SetPath(device::ToUtf16(h.MessagesFile().string()));
    file.Open();
    BlockedMessageRecord record{};
    ASSERT_TRUE(file.ReadAt(0, record));
    EXPECT_EQ(file.WholeSubject(record), GetParam().sms.text.value_or(u""));
}

INSTANTIATE_TEST_SUITE_P(ProcessMessage, DismissRecord,
                         testing::Values(RecordRow{"WithSenderNameAndText", {u"+15550100123", u"Lunch?", u"Anna"}},
                                         RecordRow{"WithoutSenderName",
                                                   {u"+447700900123", u"Your code is 4711", std::nullopt}},
                                         RecordRow{"WithoutText", {u"+15550100123", std::nullopt, u"Anna"}},
                                         RecordRow{"LongFieldsAreCutAndTheWholeTextKeptBeside",
                                                   {kLongName, std::u16string(611, u'y'), std::u16string(200, u'z')}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcessMessageTest, SilentAcceptAllCopiesWithoutAddressBook) {
    h.Filter(SilentAcceptAll);
    Sms sms{u"+15550100123", u"On my way", u"Anna"};
    EntryId id = h.Receive(sms);

    Outcome outcome = h.Process(id);

    ExpectSilentlyAccepted(outcome, id, sms);
    EXPECT_EQ(addressBook.Count(), 0);
}

TEST_F(ProcessMessageTest, EachMessageStandsAlone) {
    h.Filter(UserSettings);
    h.WriteContactStates(States({{Dismiss, kAnna}, {SilentAccept, kBert}}));
    h.Process(h.Receive({u"+15550100123"}));
    h.Process(h.Receive({u"01719876543"}));
    h.Process(h.Receive({u"+15550100123"}));
    // VelmoLight changes Anna to Accept between two messages; the next one sees it.
    h.WriteContactStates(States({{Accept, kAnna}}));
    EntryId kept = h.Receive({u"+15550100123"});
    Outcome outcome = h.Process(kept);

    EXPECT_EQ(outcome.handled, MRC_NOT_HANDLED);
    EXPECT_EQ(RecordsOnDisk(h.MessagesFile()).size(), 2u);
    EXPECT_EQ(StoredDword(BlockedMsgValue), 2u);
    EXPECT_EQ(StoredDword(SilentMsgValue), 1u);
    EXPECT_EQ(h.Messages().Count(u"Inbox"), 2u) << "the read copy and the accepted message";
    EXPECT_EQ(addressBook.Count(), 4);
}

// ---------------------------------------------------------------------------------------------
// The counters are signed 16-bit and stored sign-extended.

struct CounterRow {
    const char* name;
    std::int16_t itemsMode;
    const char16_t* counter;
    DWORD before;
    DWORD after;
};
void PrintTo(const CounterRow& row, std::ostream* out) { *out << row.name; }

class Counter : public ProcessMessageTest, public testing::WithParamInterface<CounterRow> {};

TEST_P(Counter, AddsOneInSixteenBits) {
    const CounterRow& row = GetParam();
    h.Filter(row.itemsMode);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegSetValueExW(key, row.counter, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&row.before), sizeof row.before);
    RegCloseKey(key);

    Outcome outcome = h.Process(h.Receive({u"+15550100123"}));

    EXPECT_EQ(outcome.handled, MRC_HANDLED_DONTCONTINUE);
    EXPECT_EQ(StoredDword(row.counter), row.after);
}

INSTANTIATE_TEST_SUITE_P(
    ProcessMessage, Counter,
    testing::Values(CounterRow{"BlockedCounts", DismissAll, BlockedMsgValue, 41, 42},
                    CounterRow{"BlockedWrapsToMinus32768", DismissAll, BlockedMsgValue, 32767, 0xFFFF8000u},
                    CounterRow{"SilentWrapsToMinus32768", SilentAcceptAll, SilentMsgValue, 32767, 0xFFFF8000u},
                    CounterRow{"SilentFromMinusOne", SilentAcceptAll, SilentMsgValue, 0xFFFFFFFFu, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Failures never lose a message and are never reported as handled.

struct UnrecordedRow {
    const char* name;
    bool installed;
    std::function<void(HandlerDevice&)> breakFile;
    bool diskFull;
};
void PrintTo(const UnrecordedRow& row, std::ostream* out) { *out << row.name; }

class DismissWithoutRecord : public testing::TestWithParam<UnrecordedRow> {};

TEST_P(DismissWithoutRecord, KeepsMessage) {
    const UnrecordedRow& row = GetParam();
    HandlerDevice h(row.installed);
    h.Filter(DismissAll);
    row.breakFile(h);
    Sms sms{u"+15550100123", u"Keep me", u"Anna"};
    EntryId id = h.Receive(sms);

    const bool fileBefore = row.installed && fs::is_regular_file(h.MessagesFile());
    const auto sizeBefore = fileBefore ? fs::file_size(h.MessagesFile()) : 0;

    Outcome outcome;
    if (row.diskFull) {
        // Mesages.dat cannot grow; the stores' own files stay well below its size.
        test::ScopedFileSizeLimit limit(sizeBefore);
        outcome = h.Process(id);
    } else {
        outcome = h.Process(id);
    }

    EXPECT_TRUE(FAILED(outcome.result)) << std::hex << outcome.result;
    EXPECT_EQ(outcome.handled, MRC_NOT_HANDLED);
    EXPECT_EQ(outcome.eventType, kUnwritten);
    auto inbox = h.Messages().ListFolder(u"Inbox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].entryId, id);
    EXPECT_EQ(StoredDword(BlockedMsgValue), std::nullopt);
    if (fileBefore) {
        EXPECT_EQ(fs::file_size(h.MessagesFile()), sizeBefore);
    }
}

// A thousand earlier records: a file larger than anything the stores write during one message.
void FillMessagesFile(HandlerDevice& h) { test::WriteFileBytes(h.MessagesFile(), Bytes(4 + 840 * 1000, 0x41)); }

INSTANTIATE_TEST_SUITE_P(ProcessMessage, DismissWithoutRecord,
                         testing::Values(UnrecordedRow{"NoAppPath", false, [](HandlerDevice&) {}, false},
                                         UnrecordedRow{"MesagesDatCannotBeOpened", true,
                                                       [](HandlerDevice& h) { fs::create_directory(h.MessagesFile()); },
                                                       false},
                                         UnrecordedRow{"DiskFull", true, FillMessagesFile, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcessMessageTest, DismissWhoseDeletionFailsIsNotHandled) {
    h.Filter(DismissAll);
    Sms sms{u"+15550100123", u"Still here", u"Anna"};
    EntryId id = h.Receive(sms);
    StoreFaults faults;
    faults.failingDelete = id;
    StoreDouble store(h.Messages().Interface(), faults);

    Outcome outcome = h.Process(&store, id);

    ExpectLeftAlone(outcome, id, sms, true);
    // The record is taken back: the message is in the inbox alone, never in two places.
    EXPECT_EQ(RecordsOnDisk(h.MessagesFile()), std::vector<Bytes>{});
}

struct SilentFaultRow {
    const char* name;
    HRESULT createMessage;
    int failingSetProps;
    bool failingDelete;
};
void PrintTo(const SilentFaultRow& row, std::ostream* out) { *out << row.name; }

class SilentAcceptFault : public ProcessMessageTest, public testing::WithParamInterface<SilentFaultRow> {};

TEST_P(SilentAcceptFault, LeavesOnlyOriginal) {
    const SilentFaultRow& row = GetParam();
    h.Filter(SilentAcceptAll);
    Sms sms{u"+15550100123", u"Only once", u"Anna"};
    EntryId id = h.Receive(sms);
    StoreFaults faults;
    faults.createMessage = row.createMessage;
    faults.failingSetProps = row.failingSetProps;
    if (row.failingDelete) faults.failingDelete = id;
    StoreDouble store(h.Messages().Interface(), faults);

    Outcome outcome = h.Process(&store, id);

    ExpectLeftAlone(outcome, id, sms, true);
}

INSTANTIATE_TEST_SUITE_P(ProcessMessage, SilentAcceptFault,
                         testing::Values(SilentFaultRow{"CopyNotCreated", MAPI_E_NOT_ENOUGH_MEMORY, 0, false},
                                         SilentFaultRow{"CopiedPropertiesNotWritten", S_OK, 1, false},
                                         SilentFaultRow{"ReadMarkNotWritten", S_OK, 2, false},
                                         SilentFaultRow{"OriginalNotDeleted", S_OK, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OddActionRow {
    const char* name;
    std::optional<std::vector<ContactRecord>> states;
    std::int16_t defActionType;
    bool bookUnreadable = false;  // contacts.db gone: no empty book, so no stranger's action
};
void PrintTo(const OddActionRow& row, std::ostream* out) { *out << row.name; }

class OddAction : public ProcessMessageTest, public testing::WithParamInterface<OddActionRow> {};

TEST_P(OddAction, LeavesMessageNotHandled) {
    h.Filter(UserSettings);
    SettingsStore().SetDefActionType(GetParam().defActionType);
    if (GetParam().states) h.WriteContactStates(*GetParam().states);
    if (GetParam().bookUnreadable) fs::remove(velmo::device::DeviceRoot() / "contacts.db");
    Sms sms{u"+15550100123"};
    EntryId id = h.Receive(sms);

    ExpectLeftAlone(h.Process(id), id, sms, GetParam().bookUnreadable);
    EXPECT_FALSE(fs::exists(h.MessagesFile()));
}

INSTANTIATE_TEST_SUITE_P(ProcessMessage, OddAction,
                         testing::Values(OddActionRow{"DamagedContactEntry", States({{5, kAnna}}), Accept},
                                         OddActionRow{"HandEditedDefActionType", std::nullopt, -1},
                                         OddActionRow{"AddressBookCannotBeRead", States({{Dismiss, UnknownSenderKey}}),
                                                      Dismiss, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// A message or folder that cannot be opened: its result goes back, the out-parameters stay.

struct OpenRow {
    const char* name;
    std::function<EntryId(HandlerDevice&)> message;
    std::function<EntryId(HandlerDevice&)> folder;
    HRESULT expected;
};
void PrintTo(const OpenRow& row, std::ostream* out) { *out << row.name; }

class OpenFailure : public testing::TestWithParam<OpenRow> {};

TEST_P(OpenFailure, ReturnsItsResultAndWritesNothing) {
    HandlerDevice h;
    h.Filter(DismissAll);
    EntryId message = GetParam().message(h);
    EntryId folder = GetParam().folder(h);
    std::size_t before = h.Messages().Count(u"Inbox");

    Outcome outcome = h.Process(h.Messages().Interface(), message, folder);

    EXPECT_EQ(outcome.result, GetParam().expected);
    EXPECT_EQ(outcome.eventType, kUnwritten);
    EXPECT_EQ(outcome.handled, kUnwritten);
    EXPECT_EQ(h.Messages().Count(u"Inbox"), before);
    EXPECT_EQ(StoredDword(BlockedMsgValue), std::nullopt);
}

EntryId Garbage(HandlerDevice&) { return {0x01, 0x02, 0x03}; }
EntryId Incoming(HandlerDevice& h) { return h.Receive({u"+15550100123"}); }
EntryId Inbox(HandlerDevice& h) { return h.Messages().InboxEntryId(); }
// The entry of a message that has been deleted from the store.
EntryId Removed(HandlerDevice& h) {
    EntryId id = Incoming(h);
    EntryId inbox = Inbox(h);
    IUnknown* folder = nullptr;
    EXPECT_EQ(
        h.Messages().Interface()->OpenEntry(static_cast<ULONG>(inbox.size()), reinterpret_cast<LPENTRYID>(inbox.data()),
                                            &IID_IMAPIFolder, 0, nullptr, &folder),
        S_OK);
    SBinary entry{static_cast<ULONG>(id.size()), id.data()};
    ENTRYLIST list{1, &entry};
    EXPECT_EQ(static_cast<IMAPIFolder*>(folder)->DeleteMessages(&list, 0, nullptr, 0), S_OK);
    folder->Release();
    return id;
}

INSTANTIATE_TEST_SUITE_P(ProcessMessage, OpenFailure,
                         testing::Values(OpenRow{"MessageEntryGarbage", Garbage, Inbox, MAPI_E_INVALID_ENTRYID},
                                         OpenRow{"FolderEntryGarbage", Incoming, Garbage, MAPI_E_INVALID_ENTRYID},
                                         OpenRow{"MessageGone", Removed, Inbox, MAPI_E_NOT_FOUND}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
