#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/ContactsConnection.h"
#include "common/Types.h"
#include "device/ContactStore.h"
#include "device/Text.h"
#include "handler/SenderAddress.h"
#include "handler/SenderKey.h"
#include "support/TempDevice.h"

using velmo::ExtractSenderAddress;
using velmo::KeepDigits;
using velmo::ResolveSenderKey;
using velmo::TrailingDigitsMatch;
using velmo::device::ContactEntry;
using velmo::device::ContactField;

namespace {

struct TextCase {
    const char* name;
    std::u16string text;
    std::u16string expected;
};
void PrintTo(const TextCase& row, std::ostream* out) { *out << row.name; }

class SenderAddress : public ::testing::TestWithParam<TextCase> {};
TEST_P(SenderAddress, IsTakenFromTheText) { EXPECT_EQ(ExtractSenderAddress(GetParam().text), GetParam().expected); }

class Digits : public ::testing::TestWithParam<TextCase> {};
TEST_P(Digits, AreKeptInOrder) { EXPECT_EQ(KeepDigits(GetParam().text), GetParam().expected); }

struct MatchCase {
    const char* name;
    std::u16string a;
    std::u16string b;
    bool match;
};
void PrintTo(const MatchCase& row, std::ostream* out) { *out << row.name; }

class TrailingDigits : public ::testing::TestWithParam<MatchCase> {};
TEST_P(TrailingDigits, Match) {
    EXPECT_EQ(TrailingDigitsMatch(GetParam().a, GetParam().b), GetParam().match);
    EXPECT_EQ(TrailingDigitsMatch(GetParam().b, GetParam().a), GetParam().match);
    // The walk's early reject decides as the full comparison does, with the number as the contact's text.
    std::u16string scratch = u"left over from an earlier number";
    EXPECT_EQ(velmo::NumberMatches(GetParam().a, u"(" + GetParam().b + u") ", scratch), GetParam().match);
    EXPECT_EQ(velmo::NumberMatches(GetParam().b, u"tel. " + GetParam().a, scratch), GetParam().match);
}

auto RowName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    SenderLookup, SenderAddress,
    ::testing::Values(TextCase{"NameThenBracketedNumber", u"Office <+1 555 010-0123>", u"+1 555 010-0123"},
                      TextCase{"BareNumber", u"5550100", u"5550100"}, TextCase{"OpenedNeverClosed", u"x<123", u"123"},
                      TextCase{"ClosingBeforeOpening", u"a>b<77", u"77"},
                      TextCase{"FirstOpeningLastClosing", u"<1<2>3>", u"1<2>3"},
                      TextCase{"EmptyBrackets", u"Name <>", u""}, TextCase{"Empty", u"", u""},
                      TextCase{"LongerThan255UnitsKeptWhole", std::u16string(280, u'n') + u" <+44 7700 900123>",
                               u"+44 7700 900123"}),
    RowName);

INSTANTIATE_TEST_SUITE_P(SenderLookup, Digits,
                         ::testing::Values(TextCase{"InternationalFormat", u"+1 (555) 010-0123", u"15550100123"},
                                           TextCase{"LettersOnly", u"BankAlert", u""}, TextCase{"Empty", u"", u""},
                                           TextCase{"OtherScriptsDigitsDropped", u"٣4५6", u"46"},
                                           TextCase{"MixedLettersAndDigits", u"Promo2Go 44", u"244"}),
                         RowName);

INSTANTIATE_TEST_SUITE_P(
    SenderLookup, TrailingDigits,
    ::testing::Values(MatchCase{"LastTenEqual", u"15550100123", u"25550100123", true},
                      MatchCase{"ShortNumberOnlyMatchesItself", u"0123", u"15550100123", false},
                      MatchCase{"LastDigitDiffers", u"15550100123", u"15550100124", false},
                      MatchCase{"OneEmpty", u"0123", u"", false}, MatchCase{"BothEmpty", u"", u"", false},
                      MatchCase{"CountryPrefixAgainstTrunkPrefix", u"447700900123", u"07700900123", true},
                      MatchCase{"EleventhFromTheEndIgnored", u"97700900123", u"87700900123", true},
                      MatchCase{"TenthFromTheEndCounts", u"7700900123", u"6700900123", false}),
    RowName);

TEST(SenderLookup, NullTextHasNoDigits) { EXPECT_EQ(KeepDigits(static_cast<const char16_t*>(nullptr)), u""); }

namespace {

ContactEntry WithNumber(ContactField field, std::u16string number) {
    ContactEntry entry;
    entry[ContactField::LastName] = u"Someone";
    entry[field] = std::move(number);
    return entry;
}

// Each test runs against its own address book, through the real COM path.
class AddressBookLookup : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
    velmo::device::ContactStore store;
};

}  // namespace

TEST_F(AddressBookLookup, FindsTheOwnerOfEachComparedField) {
    const ContactField compared[] = {ContactField::BusinessTelephoneNumber, ContactField::Business2TelephoneNumber,
                                     ContactField::HomeTelephoneNumber,     ContactField::Home2TelephoneNumber,
                                     ContactField::MobileTelephoneNumber,   ContactField::CarTelephoneNumber};
    std::vector<LONG> oids;
    for (int i = 0; i < 6; ++i) {
        oids.push_back(store.Add(WithNumber(compared[i], u"+1 555 010-010" + std::u16string(1, u'0' + i))));
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ResolveSenderKey(u"1555010010" + std::u16string(1, u'0' + i)), oids[i]) << i;
    }
    EXPECT_EQ(ResolveSenderKey(u"15550100109"), velmo::UnknownSenderKey);
}

TEST_F(AddressBookLookup, CountryPrefixMatchesTrunkPrefixAndShortNumbersOnlyThemselves) {
    LONG uk = store.Add(WithNumber(ContactField::MobileTelephoneNumber, u"07700 900123"));
    store.Add(WithNumber(ContactField::HomeTelephoneNumber, u"(555) 010-4242"));
    EXPECT_EQ(ResolveSenderKey(KeepDigits(ExtractSenderAddress(u"Ann <+44 7700 900123>"))), uk);
    EXPECT_EQ(ResolveSenderKey(u"4242"), velmo::UnknownSenderKey);
}

TEST_F(AddressBookLookup, TheEarlierOfTwoContactsWithTheNumberWins) {
    LONG first = store.Add(WithNumber(ContactField::HomeTelephoneNumber, u"555-0100"));
    store.Add(WithNumber(ContactField::MobileTelephoneNumber, u"555-0100"));
    EXPECT_EQ(ResolveSenderKey(u"5550100"), first);
}

TEST_F(AddressBookLookup, FaxPagerRadioAndEmailNeverMatch) {
    ContactEntry entry;
    entry[ContactField::BusinessFaxNumber] = u"555-0101";
    entry[ContactField::HomeFaxNumber] = u"555-0102";
    entry[ContactField::PagerNumber] = u"555-0103";
    entry[ContactField::RadioTelephoneNumber] = u"555-0104";
    entry[ContactField::Email1Address] = u"5550105@example.com";
    store.Add(entry);
    for (auto sender : {u"5550101", u"5550102", u"5550103", u"5550104", u"5550105"}) {
        EXPECT_EQ(ResolveSenderKey(sender), velmo::UnknownSenderKey) << velmo::device::ToUtf8(sender);
    }
}

TEST_F(AddressBookLookup, AFieldOfMoreThan99DigitsStillMatchesByItsEnd) {
    LONG oid = store.Add(WithNumber(ContactField::BusinessTelephoneNumber, std::u16string(120, u'9') + u"5550100"));
    EXPECT_EQ(ResolveSenderKey(u"19995550100"), oid);
}

TEST_F(AddressBookLookup, LeavesComUninitialisedOnTheThread) {
    store.Add(WithNumber(ContactField::MobileTelephoneNumber, u"555-0100"));
    std::thread([] {
        ASSERT_GT(ResolveSenderKey(u"5550100"), 0);
        void* object = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, &object),
                  CO_E_NOTINITIALIZED);
    }).join();
}

TEST_F(AddressBookLookup, ConnectionCountsAndHandsOutContactsForTheContactList) {
    LONG ann = store.Add(WithNumber(ContactField::MobileTelephoneNumber, u"1"));
    LONG bob = store.Add(WithNumber(ContactField::MobileTelephoneNumber, u"2"));
    velmo::ContactsConnection connection;
    EXPECT_EQ(connection.Count(), 0);
    EXPECT_EQ(connection.Item(1), nullptr);
    ASSERT_TRUE(connection.Open());
    ASSERT_EQ(connection.Count(), 2);
    for (auto [index, oid] : {std::pair{1, ann}, std::pair{2, bob}}) {
        IContact* contact = connection.Item(index);
        ASSERT_NE(contact, nullptr);
        LONG read = 0;
        EXPECT_EQ(contact->get_Oid(&read), S_OK);
        EXPECT_EQ(read, oid);
        contact->Release();
    }
    EXPECT_EQ(connection.Item(3), nullptr);
    connection.Close();
    EXPECT_EQ(connection.Count(), 0);
    connection.Close();
}

namespace {

// An address book whose calls fail where a test says, for failures that contacts.db cannot
// be made to give. It stands in for CLSID_Application while a test holds a FailingBook.
struct FakeContact {
    LONG oid;
    std::u16string mobile;
    bool oidFails = false;
    bool itemFails = false;
    bool mobileFails = false;
};

struct FakeBookState {
    std::vector<FakeContact> contacts;
    bool countFails = false;
    bool logonFails = false;
    std::atomic<int> live{0};    // objects not yet released
    std::atomic<int> logons{0};  // the address book opened
};
FakeBookState* fake = nullptr;

// Release of a fake object: gone at its last reference.
template <class Object>
ULONG Drop(Object* object, ULONG& references) {
    if (--references > 0) return references;
    --fake->live;
    delete object;
    return 0;
}

class FakeContactObject final : public IContact {
public:
    explicit FakeContactObject(const FakeContact& data) : data_(data) { ++fake->live; }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override { return Drop(this, references_); }
    HRESULT get_Oid(LONG* oid) override {
        if (data_.oidFails) return E_FAIL;
        *oid = data_.oid;
        return S_OK;
    }
    HRESULT get_MobileTelephoneNumber(BSTR* text) override {
        *text = nullptr;
        if (data_.mobileFails) return E_FAIL;
        *text = SysAllocString(data_.mobile.c_str());
        return S_OK;
    }
    HRESULT get_FirstName(BSTR* t) override { return Empty(t); }
    HRESULT get_LastName(BSTR* t) override { return Empty(t); }
    HRESULT get_FileAs(BSTR* t) override { return Empty(t); }
    HRESULT get_CompanyName(BSTR* t) override { return Empty(t); }
    HRESULT get_BusinessTelephoneNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_Business2TelephoneNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_HomeTelephoneNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_Home2TelephoneNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_CarTelephoneNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_RadioTelephoneNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_BusinessFaxNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_HomeFaxNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_PagerNumber(BSTR* t) override { return Empty(t); }
    HRESULT get_Email1Address(BSTR* t) override { return Empty(t); }
    HRESULT get_Email2Address(BSTR* t) override { return Empty(t); }
    HRESULT get_Email3Address(BSTR* t) override { return Empty(t); }

private:
    static HRESULT Empty(BSTR* text) {
        *text = nullptr;
        return S_OK;
    }
    FakeContact data_;
    ULONG references_ = 1;
};

// Application, folder and collection in one object.
class FakeBookObject final : public IPOutlookApp, public IFolder, public IPOutlookItemCollection {
public:
    FakeBookObject() { ++fake->live; }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override { return Drop(this, references_); }
    HRESULT Logon(LONG) override {
        ++fake->logons;
        return fake->logonFails ? E_FAIL : S_OK;
    }
    HRESULT Logoff() override { return S_OK; }
    HRESULT GetDefaultFolder(int, IFolder** folder) override {
        AddRef();
        *folder = this;
        return S_OK;
    }
    HRESULT get_Items(IPOutlookItemCollection** items) override {
        AddRef();
        *items = this;
        return S_OK;
    }
    HRESULT get_Count(int* count) override {
        *count = static_cast<int>(fake->contacts.size());
        return fake->countFails ? E_FAIL : S_OK;
    }
    HRESULT Item(int index, IDispatch** item) override {
        const auto& data = fake->contacts.at(static_cast<std::size_t>(index - 1));
        *item = data.itemFails ? nullptr : new FakeContactObject(data);
        return data.itemFails ? E_FAIL : S_OK;
    }

private:
    ULONG references_ = 1;
};

HRESULT CreateFakeBook(IUnknown*, REFIID, void** object) {
    *object = static_cast<IPOutlookApp*>(new FakeBookObject());
    return S_OK;
}

class FailingBook : public ::testing::Test {
protected:
    FailingBook() {
        fake = &state;
        previous = velmo::device::RegisterBuiltInClass(CLSID_Application, &CreateFakeBook);
    }
    ~FailingBook() override {
        velmo::device::RegisterBuiltInClass(CLSID_Application, previous);
        fake = nullptr;
    }
    void TearDown() override { EXPECT_EQ(state.live, 0) << "objects left unreleased"; }

    FakeBookState state;
    velmo::device::ClassCreator previous = nullptr;
};

}  // namespace

// Opening the address book creates nothing, so only the book itself can tell it was opened.
TEST_F(FailingBook, NoDigitsGiveUndefinedWithoutOpeningTheAddressBook) {
    state.contacts = {{7, u"555-0100"}};
    EXPECT_EQ(ResolveSenderKey(KeepDigits(ExtractSenderAddress(u"BankAlert"))), velmo::UndefinedSenderKey);
    EXPECT_EQ(state.logons, 0);
    EXPECT_EQ(ResolveSenderKey(u"5550100"), 7);
    EXPECT_EQ(state.logons, 1);
}

TEST_F(FailingBook, AMatchWhoseIdentifierCannotBeReadIsUnknown) {
    state.contacts = {{7, u"555-0100", true}, {8, u"555-0100"}};
    EXPECT_EQ(ResolveSenderKey(u"5550100"), velmo::UnknownSenderKey);
}

TEST_F(FailingBook, AFailingItemOrFieldIsSkipped) {
    state.contacts = {{7, u"555-0100", false, true}, {8, u"555-0100", false, false, true}, {9, u"555-0100"}};
    EXPECT_EQ(ResolveSenderKey(u"5550100"), 9);
}

TEST_F(FailingBook, AFailingCountMeansNoContacts) {
    state.contacts = {{7, u"555-0100"}};
    state.countFails = true;
    EXPECT_EQ(ResolveSenderKey(u"5550100"), velmo::UnknownSenderKey);
}

TEST_F(FailingBook, AFailedLogonReleasesWhatWasObtained) {
    state.contacts = {{7, u"555-0100"}};
    state.logonFails = true;
    velmo::ContactsConnection connection;
    EXPECT_FALSE(connection.Open());
    EXPECT_EQ(connection.Count(), 0);
    EXPECT_EQ(ResolveSenderKey(u"5550100"), velmo::UnknownSenderKey);
    // Asked to tell, the lookup answers the failure rather than a stranger's key.
    std::int32_t key = 5;
    EXPECT_TRUE(FAILED(velmo::TryResolveSenderKey(u"5550100", key)));
    EXPECT_EQ(key, 5);
}

TEST_F(FailingBook, WithoutTheApplicationClassEverySenderIsUnknown) {
    velmo::device::RegisterBuiltInClass(CLSID_Application, nullptr);
    state.contacts = {{7, u"555-0100"}};
    EXPECT_EQ(ResolveSenderKey(u"5550100"), velmo::UnknownSenderKey);
}
