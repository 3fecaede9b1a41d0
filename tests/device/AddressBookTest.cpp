#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "device/ContactStore.h"
#include "device/Poom.h"
#include "device/Text.h"
#include "support/Process.h"
#include "support/TempDevice.h"

using velmo::device::ContactEntry;
using velmo::device::ContactField;
using velmo::device::ContactStore;

namespace {

struct ScopedCom {
    ScopedCom() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ScopedCom() { CoUninitialize(); }
};

std::u16string Take(BSTR text) {
    std::u16string copy = text != nullptr ? std::u16string(text, SysStringLen(text)) : u"";
    SysFreeString(text);
    return copy;
}

ContactEntry Named(std::u16string first) {
    ContactEntry entry;
    entry[ContactField::FirstName] = std::move(first);
    return entry;
}

using Getter = HRESULT (IContact::*)(BSTR*);
struct FieldGetter {
    ContactField field;
    Getter get;
};
constexpr FieldGetter Getters[] = {
    {ContactField::FirstName, &IContact::get_FirstName},
    {ContactField::LastName, &IContact::get_LastName},
    {ContactField::FileAs, &IContact::get_FileAs},
    {ContactField::CompanyName, &IContact::get_CompanyName},
    {ContactField::BusinessTelephoneNumber, &IContact::get_BusinessTelephoneNumber},
    {ContactField::Business2TelephoneNumber, &IContact::get_Business2TelephoneNumber},
    {ContactField::HomeTelephoneNumber, &IContact::get_HomeTelephoneNumber},
    {ContactField::Home2TelephoneNumber, &IContact::get_Home2TelephoneNumber},
    {ContactField::MobileTelephoneNumber, &IContact::get_MobileTelephoneNumber},
    {ContactField::CarTelephoneNumber, &IContact::get_CarTelephoneNumber},
    {ContactField::RadioTelephoneNumber, &IContact::get_RadioTelephoneNumber},
    {ContactField::BusinessFaxNumber, &IContact::get_BusinessFaxNumber},
    {ContactField::HomeFaxNumber, &IContact::get_HomeFaxNumber},
    {ContactField::PagerNumber, &IContact::get_PagerNumber},
    {ContactField::Email1Address, &IContact::get_Email1Address},
    {ContactField::Email2Address, &IContact::get_Email2Address},
    {ContactField::Email3Address, &IContact::get_Email3Address},
};
static_assert(std::size(Getters) == velmo::device::ContactFieldCount);

// The address book's application object, created through COM as the product creates it.
IPOutlookApp* NewApplication() {
    IPOutlookApp* app = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                               reinterpret_cast<void**>(&app)),
              S_OK);
    return app;
}

class AddressBook : public ::testing::Test {
protected:
    void SetUp() override {
        ContactStore();  // the book exists, as contacts add or import leaves it
        application = NewApplication();
        ASSERT_NE(application, nullptr);
        ASSERT_EQ(application->Logon(0), S_OK);
        ASSERT_EQ(application->GetDefaultFolder(olFolderContacts, &folder), S_OK);
    }
    void TearDown() override {
        if (folder != nullptr) folder->Release();
        if (application != nullptr) {
            application->Logoff();
            application->Release();
        }
    }

    IPOutlookItemCollection* Items() const {
        IPOutlookItemCollection* items = nullptr;
        EXPECT_EQ(folder->get_Items(&items), S_OK);
        return items;
    }
    static int Count(IPOutlookItemCollection* items) {
        int count = -1;
        EXPECT_EQ(items->get_Count(&count), S_OK);
        return count;
    }
    static IContact* At(IPOutlookItemCollection* items, int index) {
        IDispatch* item = nullptr;
        EXPECT_EQ(items->Item(index, &item), S_OK);
        return static_cast<IContact*>(item);
    }
    static LONG OidAt(IPOutlookItemCollection* items, int index) {
        IContact* contact = At(items, index);
        LONG oid = 0;
        EXPECT_EQ(contact->get_Oid(&oid), S_OK);
        contact->Release();
        return oid;
    }
    static std::u16string FirstNameAt(IPOutlookItemCollection* items, int index) {
        IContact* contact = At(items, index);
        BSTR name = nullptr;
        EXPECT_EQ(contact->get_FirstName(&name), S_OK);
        contact->Release();
        return Take(name);
    }

    velmo::test::TempDevice device;
    ScopedCom com;
    IPOutlookApp* application = nullptr;
    IFolder* folder = nullptr;
};

}  // namespace

TEST_F(AddressBook, ListsContactsFromOneInOrderOfEntry) {
    auto oids = ContactStore().AddAll(std::vector{Named(u"Ann"), Named(u"Bob"), Named(u"Cy")});
    ASSERT_EQ(oids.size(), 3u);
    EXPECT_GT(oids[0], 0);
    IPOutlookItemCollection* items = Items();
    ASSERT_EQ(Count(items), 3);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(OidAt(items, i), oids[static_cast<std::size_t>(i - 1)]);
    EXPECT_EQ(FirstNameAt(items, 2), u"Bob");
    for (int outside : {0, -1, 4}) {
        IDispatch* item = reinterpret_cast<IDispatch*>(&outside);
        EXPECT_EQ(items->Item(outside, &item), E_INVALIDARG) << outside;
        EXPECT_EQ(item, nullptr);
    }
    EXPECT_EQ(items->Item(1, nullptr), E_POINTER);
    EXPECT_EQ(items->get_Count(nullptr), E_POINTER);
    items->Release();
}

TEST_F(AddressBook, EveryFieldReadsBackAndAnEmptyFieldIsANullString) {
    ContactEntry full;
    for (std::size_t i = 0; i < full.fields.size(); ++i) full.fields[i] = u"Zoë €" + std::u16string(i + 1, u'7');
    ContactStore store;
    store.Add(full);
    ContactEntry onlyCompany;
    onlyCompany[ContactField::CompanyName] = u"Acme";
    store.Add(onlyCompany);

    IPOutlookItemCollection* items = Items();
    IContact* first = At(items, 1);
    IContact* second = At(items, 2);
    for (const auto& getter : Getters) {
        BSTR text = nullptr;
        EXPECT_EQ((first->*getter.get)(&text), S_OK);
        EXPECT_EQ(Take(text), full[getter.field]) << velmo::device::ContactFieldName(getter.field);
        text = reinterpret_cast<BSTR>(&text);
        EXPECT_EQ((second->*getter.get)(&text), S_OK);
        if (getter.field == ContactField::CompanyName) {
            EXPECT_EQ(Take(text), u"Acme");
        } else {
            EXPECT_EQ(text, nullptr) << velmo::device::ContactFieldName(getter.field);
        }
        EXPECT_EQ((first->*getter.get)(nullptr), E_POINTER);
    }
    first->Release();
    second->Release();
    items->Release();
}

TEST_F(AddressBook, ObjectIdentifiersHoldAcrossProcessesAndAreNeverGivenOutAgain) {
    auto add = [](const std::string& first) {
        auto result = velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(),
                                              {"contacts", "add", "--first", first, "--mobile", "+1 555 0100"});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_EQ(result.output.rfind("added contact ", 0), 0u) << result.output;
        return static_cast<LONG>(std::stol(result.output.substr(14)));
    };
    LONG ann = add("Ann");
    LONG bob = add("Bob");
    EXPECT_GT(bob, ann);

    IPOutlookItemCollection* items = Items();
    EXPECT_EQ(OidAt(items, 1), ann);
    EXPECT_EQ(OidAt(items, 2), bob);
    items->Release();

    ASSERT_TRUE(ContactStore().Remove(bob));
    LONG cy = add("Cy");
    EXPECT_GT(cy, bob);
    EXPECT_EQ(ContactStore().Clear(), 2);
    LONG dee = add("Dee");
    EXPECT_GT(dee, cy);

    // Another connection, as the next message's lookup makes, sees the same identifiers.
    IPOutlookApp* other = NewApplication();
    IFolder* otherFolder = nullptr;
    ASSERT_EQ(other->Logon(0), S_OK);
    ASSERT_EQ(other->GetDefaultFolder(olFolderContacts, &otherFolder), S_OK);
    IPOutlookItemCollection* otherItems = nullptr;
    ASSERT_EQ(otherFolder->get_Items(&otherItems), S_OK);
    ASSERT_EQ(Count(otherItems), 1);
    EXPECT_EQ(OidAt(otherItems, 1), dee);
    EXPECT_EQ(FirstNameAt(otherItems, 1), u"Dee");
    otherItems->Release();
    otherFolder->Release();
    other->Logoff();
    other->Release();
}

TEST_F(AddressBook, ACollectionKeepsItsContactsWhileTheBookChangesAndAfterLogoff) {
    ContactStore store;
    store.Add(Named(u"Ann"));
    IPOutlookItemCollection* before = Items();
    store.Add(Named(u"Bob"));
    EXPECT_EQ(Count(before), 1);
    IPOutlookItemCollection* after = Items();
    EXPECT_EQ(Count(after), 2);
    after->Release();

    ASSERT_EQ(application->Logoff(), S_OK);
    EXPECT_EQ(FirstNameAt(before, 1), u"Ann");
    before->Release();
    IPOutlookItemCollection* none = reinterpret_cast<IPOutlookItemCollection*>(&store);
    EXPECT_EQ(folder->get_Items(&none), E_UNEXPECTED);
    EXPECT_EQ(none, nullptr);
}

TEST_F(AddressBook, FoldersAreOnlyGivenAfterLogonAndOnlyForContacts) {
    IFolder* other = nullptr;
    EXPECT_EQ(application->GetDefaultFolder(9, &other), E_INVALIDARG);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(application->GetDefaultFolder(olFolderContacts, nullptr), E_POINTER);

    IPOutlookApp* fresh = NewApplication();
    EXPECT_EQ(fresh->GetDefaultFolder(olFolderContacts, &other), E_UNEXPECTED);
    EXPECT_EQ(other, nullptr);
    fresh->Release();
}

TEST_F(AddressBook, AnswersOnlyForItsOwnInterfaces) {
    ContactStore().Add(Named(u"Ann"));
    void* object = &object;
    EXPECT_EQ(application->QueryInterface(IID_IContact, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(application->QueryInterface(IID_IPOutlookApp, nullptr), E_POINTER);

    IPOutlookItemCollection* items = Items();
    IContact* contact = At(items, 1);
    ASSERT_EQ(contact->QueryInterface(IID_IContact, &object), S_OK);
    EXPECT_EQ(object, contact);
    EXPECT_EQ(contact->Release(), 1u);
    ASSERT_EQ(contact->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(contact->Release(), 1u);
    EXPECT_EQ(contact->QueryInterface(IID_IFolder, &object), E_NOINTERFACE);
    EXPECT_EQ(contact->Release(), 0u);
    items->Release();
}

TEST_F(AddressBook, CreationRefusesAggregationAndForeignInterfaces) {
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(CLSID_Application, application, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(AddressBook, KeepsUtf16TextAndWriteAheadLogInContactsDb) {
    ContactEntry entry = Named(u"Zoë");
    entry[ContactField::MobileTelephoneNumber] = u"+44 7700 900123";
    LONG oid = ContactStore().Add(entry);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((device.Root() / "contacts.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT oid, first_name, last_name, mobile_tel FROM contacts", -1, &stmt, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), oid);
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(sqlite3_column_text16(stmt, 1))), u"Zoë");
    EXPECT_EQ(sqlite3_column_type(stmt, 2), SQLITE_NULL);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)), "+44 7700 900123");
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(AddressBook, RefusesAnIdentifierBeyondThirtyTwoBits) {
    ContactStore store;
    store.Add(Named(u"Ann"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((device.Root() / "contacts.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "INSERT INTO contacts(oid, first_name) VALUES(2147483647, 'Max')", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    EXPECT_THROW(store.AddAll(std::vector{Named(u"Bob"), Named(u"Cy")}), std::runtime_error);
    IPOutlookItemCollection* items = Items();
    ASSERT_EQ(Count(items), 2);  // neither of the two was added
    EXPECT_EQ(OidAt(items, 2), 2147483647);
    items->Release();
}

TEST_F(AddressBook, ProcessesAndThreadsAddAtTheSameTime) {
    auto addMany = [](std::u16string name) {
        ContactStore store;
        for (int i = 0; i < 50; ++i) store.Add(Named(name));
    };
    std::thread first(addMany, u"A");
    std::thread second(addMany, u"B");
    auto result =
        velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), {"contacts", "add", "--first", "C"});
    first.join();
    second.join();
    EXPECT_EQ(result.exitCode, 0) << result.errors;

    IPOutlookItemCollection* items = Items();
    ASSERT_EQ(Count(items), 101);
    std::set<LONG> oids;
    for (int i = 1; i <= 101; ++i) oids.insert(OidAt(items, i));
    EXPECT_EQ(oids.size(), 101u);
    items->Release();
}

TEST(AddressBookLogon, FailsWhenTheDeviceCannotHoldTheBook) {
    velmo::test::TempDevice device;
    std::ofstream(device.Root() / "blocker") << "a file, not a directory";
    setenv("VELMO_DEVICE", (device.Root() / "blocker" / "device").c_str(), 1);
    ScopedCom com;
    IPOutlookApp* application = NewApplication();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->Logon(0), E_FAIL);
    IFolder* folder = nullptr;
    EXPECT_EQ(application->GetDefaultFolder(olFolderContacts, &folder), E_UNEXPECTED);
    application->Release();
}

// How the device came to be without an address book.
struct MissingBook {
    const char* name;
    bool hadOne;  // contacts were added, then contacts.db was deleted
};

class AddressBookMissing : public ::testing::TestWithParam<MissingBook> {};

TEST_P(AddressBookMissing, FailsLogonAndCreatesNothing) {
    velmo::test::TempDevice device;
    if (GetParam().hadOne) {
        ContactStore().Add(Named(u"Ann"));
        for (const char* file : {"contacts.db", "contacts.db-wal", "contacts.db-shm"}) {
            std::filesystem::remove(device.Root() / file);
        }
    }
    ScopedCom com;
    IPOutlookApp* application = NewApplication();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->Logon(0), E_FAIL);
    application->Release();
    EXPECT_FALSE(std::filesystem::exists(device.Root() / "contacts.db"));
    EXPECT_FALSE(ContactStore::Exists());
}

INSTANTIATE_TEST_SUITE_P(Books, AddressBookMissing,
                         ::testing::Values(MissingBook{"NeverCreated", false}, MissingBook{"Deleted", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Bstr, CarriesItsLengthAndAllowsNull) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR text = SysAllocString(u"Zoë");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(std::u16string(text), u"Zoë");
    SysFreeString(text);
    text = SysAllocStringLen(u"abcdef", 3);
    EXPECT_EQ(std::u16string(text), u"abc");
    EXPECT_EQ(SysStringLen(text), 3u);
    SysFreeString(text);
}
