#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "device/ContactStore.h"
#include "device/Text.h"
#include "device/VCard.h"
#include "support/TempDevice.h"

using velmo::device::ContactEntry;
using velmo::device::ContactField;
using velmo::device::ParseVCards;
using velmo::device::VCardContents;

namespace {

// Real vCards exported by phones and address books, kept with their licence under tests/data.
std::filesystem::path RealVCards() { return std::filesystem::path(VELMO_SOURCE_DIR) / "tests" / "data" / "vcards"; }

VCardContents ParseFile(const std::string& name) {
    std::ifstream in(RealVCards() / name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + name);
    return ParseVCards(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

// The one contact of a text that must read without error.
ContactEntry Only(std::string_view text) {
    auto contents = ParseVCards(text);
    EXPECT_FALSE(contents.error.has_value()) << contents.error->message;
    EXPECT_EQ(contents.contacts.size(), 1u);
    return contents.contacts.empty() ? ContactEntry{} : contents.contacts.front();
}

std::string Field(const ContactEntry& entry, ContactField field) { return velmo::device::ToUtf8(entry[field]); }

}  // namespace

TEST(VCardSharedFiles, EveryFileReadsAndGivesContacts) {
    ASSERT_TRUE(std::filesystem::is_directory(RealVCards())) << RealVCards();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(RealVCards())) {
        if (entry.path().extension() != ".vcf") continue;
        ++files;
        auto contents = ParseFile(entry.path().filename().string());
        EXPECT_FALSE(contents.error.has_value()) << entry.path() << ": " << contents.error->message;
        EXPECT_FALSE(contents.contacts.empty()) << entry.path();
    }
    EXPECT_GE(files, 18);
}

namespace {

struct SharedField {
    const char* name;
    const char* file;
    std::size_t card;
    ContactField field;
    const char* value;
};
void PrintTo(const SharedField& row, std::ostream* out) { *out << row.name; }

class VCardSharedField : public ::testing::TestWithParam<SharedField> {};

}  // namespace

TEST_P(VCardSharedField, HoldsTheValue) {
    const auto& row = GetParam();
    auto contents = ParseFile(row.file);
    ASSERT_FALSE(contents.error.has_value()) << contents.error->message;
    ASSERT_LT(row.card, contents.contacts.size());
    EXPECT_EQ(Field(contents.contacts[row.card], row.field), row.value);
}

using F = ContactField;
INSTANTIATE_TEST_SUITE_P(
    VCard, VCardSharedField,
    ::testing::Values(
        // 2.1 with quoted-printable UTF-8 and bare types; a second CELL takes the first free voice field.
        SharedField{"AndroidQuotedPrintableName", "John_Doe_ANDROID.vcf", 2, F::FileAs, "Ñ Ñ Ñ Ñ Ñ"},
        SharedField{"AndroidSoftLineBreak", "John_Doe_ANDROID.vcf", 3, F::LastName, "Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ"},
        SharedField{"AndroidCell", "John_Doe_ANDROID.vcf", 3, F::MobileTelephoneNumber, "123456"},
        SharedField{"AndroidSecondHome", "John_Doe_ANDROID.vcf", 3, F::Home2TelephoneNumber, "45678901"},
        SharedField{"AndroidSecondCell", "John_Doe_ANDROID.vcf", 3, F::BusinessTelephoneNumber, "3456789"},
        SharedField{"AndroidWorkFax", "John_Doe_ANDROID.vcf", 4, F::BusinessFaxNumber, "123456"},
        SharedField{"AndroidOrgAfterBlankLine", "John_Doe_ANDROID.vcf", 5, F::CompanyName,
                    "ÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑÑ"},
        SharedField{"BlackBerryTypedCell", "John_Doe_BLACK_BERRY.vcf", 0, F::MobileTelephoneNumber, "+96123456789"},
        SharedField{"EvolutionFoldedCell", "John_Doe_EVOLUTION.vcf", 0, F::MobileTelephoneNumber, "905-666-1234"},
        SharedField{"EvolutionFoldedWork", "John_Doe_EVOLUTION.vcf", 0, F::BusinessTelephoneNumber, "905-555-1234"},
        SharedField{"EvolutionEscapedComma", "John_Doe_EVOLUTION.vcf", 0, F::FileAs, "Mr. John Richter, James Doe Sr."},
        SharedField{"EvolutionFirstOrgUnit", "John_Doe_EVOLUTION.vcf", 0, F::CompanyName, "IBM"},
        SharedField{"IphoneCrCrLfHome", "John_Doe_IPHONE.vcf", 0, F::HomeTelephoneNumber, "905-666-1234"},
        SharedField{"IphoneHomeFax", "John_Doe_IPHONE.vcf", 0, F::HomeFaxNumber, "905-888-1234"},
        SharedField{"IphonePager", "John_Doe_IPHONE.vcf", 0, F::PagerNumber, "905-111-1234"},
        SharedField{"IphoneGroupedUntyped", "John_Doe_IPHONE.vcf", 0, F::Home2TelephoneNumber, "905-222-1234"},
        SharedField{"LotusCell", "John_Doe_LOTUS_NOTES.vcf", 0, F::MobileTelephoneNumber, "+1 (212) 204-34456"},
        SharedField{"MacWorkPref", "John_Doe_MAC_ADDRESS_BOOK.vcf", 0, F::BusinessTelephoneNumber, "905-777-1234"},
        SharedField{"OutlookHomeVoice", "John_Doe_MS_OUTLOOK.vcf", 0, F::HomeTelephoneNumber, "(905) 666-1234"},
        SharedField{"FullContactSecondCell", "fullcontact.vcf", 0, F::Home2TelephoneNumber, "555-555-1114"},
        SharedField{"FullContactUntyped", "fullcontact.vcf", 0, F::Business2TelephoneNumber, "555-555-1115"},
        SharedField{"FullContactHomeFax", "fullcontact.vcf", 0, F::HomeFaxNumber, "555-555-1116"},
        SharedField{"GmailUntypedBeforeTypedKeepsOutOfMobile", "gmail-single2.vcf", 0, F::MobileTelephoneNumber,
                    "5555551115"},
        SharedField{"GmailFirstUntyped", "gmail-single2.vcf", 0, F::Home2TelephoneNumber, "5555551111"},
        SharedField{"Vcard4QuotedTypeAndPref", "issue114.vcf", 0, F::MobileTelephoneNumber, "+49 1234 56789"},
        SharedField{"Outlook2003TextNumber", "outlook-2003.vcf", 0, F::BusinessTelephoneNumber, "BusinessPhone"},
        SharedField{"Outlook2003OrgWithComma", "outlook-2003.vcf", 0, F::CompanyName, "Company, The"},
        SharedField{"Rfc2426SecondCardWork", "rfc2426-example.vcf", 1, F::BusinessTelephoneNumber, "+1-415-937-3419"},
        SharedField{"Rfc6350TelUriWithoutExtension", "rfc6350-example.vcf", 0, F::BusinessTelephoneNumber,
                    "+1-418-656-9254"},
        SharedField{"Rfc6350WorkCellIsMobile", "rfc6350-example.vcf", 0, F::MobileTelephoneNumber, "+1-418-262-6501"},
        SharedField{"ThunderbirdPager", "thunderbird-MoreFunctionsForAddressBook-extension.vcf", 0, F::PagerNumber,
                    "555-555-4444"},
        SharedField{"ThunderbirdBareFax", "thunderbird-MoreFunctionsForAddressBook-extension.vcf", 0,
                    F::BusinessFaxNumber, "555-555-3333"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VCard, NamesEveryNumberThatFindsNoField) {
    auto contents = ParseFile("gmail-single2.vcf");
    std::string notes;
    for (const auto& note : contents.notes) notes += note + "\n";
    EXPECT_NE(notes.find("line 27: no free telephone field for 5555551116"), std::string::npos) << notes;
    EXPECT_NE(notes.find("line 30: no free telephone field for 5555551119"), std::string::npos) << notes;
    EXPECT_NE(notes.find("line 33: no free telephone field for 5555551121"), std::string::npos) << notes;
    EXPECT_EQ(Field(contents.contacts.at(0), F::CarTelephoneNumber), "");  // voice numbers keep out of car and radio
}

TEST(VCard, ReadsQuotedPrintableInADeclaredCharacterSet) {
    auto entry = Only(
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=F6rg\r\n"
        "FN;CHARSET=WINDOWS-1252;QUOTED-PRINTABLE:=80 J=F6rg M=\r\n"
        "=FCller \r\n"
        "ORG;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Caf=C3=A9 =3D Bar\r\n"
        "END:VCARD\r\n");
    EXPECT_EQ(Field(entry, F::LastName), "Müller");
    EXPECT_EQ(Field(entry, F::FirstName), "Jörg");
    EXPECT_EQ(Field(entry, F::FileAs), "€ Jörg Müller");
    EXPECT_EQ(Field(entry, F::CompanyName), "Café = Bar");
}

TEST(VCard, UnfoldsLinesAndResolvesEscapes) {
    auto entry = Only(
        "BEGIN:VCARD\nVERSION:3.0\n"
        "N:O'Neil\\, Jr.;Ann\\;Marie;;;\n"
        "FN:Ann\\nO\\\\Neil\n"
        "item1.TEL;TYPE=\"work\n"
        " ,voice\":+1 555\n"
        "\t0100\n"
        "END:VCARD\n");
    EXPECT_EQ(Field(entry, F::LastName), "O'Neil, Jr.");
    EXPECT_EQ(Field(entry, F::FirstName), "Ann;Marie");
    EXPECT_EQ(Field(entry, F::FileAs), "Ann\nO\\Neil");
    EXPECT_EQ(Field(entry, F::BusinessTelephoneNumber), "+1 5550100");
}

TEST(VCard, ReadsUtf16FilesAndSkipsNestedCards) {
    std::u16string text =
        u"\uFEFFBEGIN:VCARD\r\nVERSION:2.1\r\nN:Zoë\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Agent\r\n"
        u"TEL;CELL:999\r\nEND:VCARD\r\nTEL;CELL:555-0100\r\nEND:VCARD\r\n";
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    auto entry = Only(bytes);
    EXPECT_EQ(Field(entry, F::LastName), "Zoë");
    EXPECT_EQ(Field(entry, F::MobileTelephoneNumber), "555-0100");
}

namespace {

struct Filing {
    const char* name;
    const char* tels;  // TEL lines of one 3.0 card
    ContactField field;
    const char* value;
};
void PrintTo(const Filing& row, std::ostream* out) { *out << row.name; }

class VCardFiling : public ::testing::TestWithParam<Filing> {};

}  // namespace

TEST_P(VCardFiling, PutsTheNumberInItsField) {
    auto entry = Only(std::string("BEGIN:VCARD\nVERSION:3.0\nFN:X\n") + GetParam().tels + "END:VCARD\n");
    EXPECT_EQ(Field(entry, GetParam().field), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    VCard, VCardFiling,
    ::testing::Values(
        Filing{"CellWinsOverWork", "TEL;TYPE=work,cell:1\n", F::MobileTelephoneNumber, "1"},
        Filing{"HomeFax", "TEL;TYPE=home;TYPE=fax:2\n", F::HomeFaxNumber, "2"},
        Filing{"SecondFaxTakesTheOtherFaxField", "TEL;TYPE=fax:3\nTEL;TYPE=fax:4\n", F::HomeFaxNumber, "4"},
        Filing{"Car", "TEL;TYPE=car:5\n", F::CarTelephoneNumber, "5"},
        Filing{"Radio", "TEL;TYPE=radio:6\n", F::RadioTelephoneNumber, "6"},
        Filing{"SecondWork", "TEL;TYPE=work:7\nTEL;TYPE=work:8\n", F::Business2TelephoneNumber, "8"},
        Filing{"ThirdWorkGoesToAFreeVoiceField", "TEL;TYPE=work:7\nTEL;TYPE=work:8\nTEL;TYPE=work:9\n",
               F::MobileTelephoneNumber, "9"},
        Filing{"UntypedKeepsOutOfALaterTypedField", "TEL:10\nTEL;TYPE=cell:11\n", F::HomeTelephoneNumber, "10"},
        Filing{"TelUri", "TEL;VALUE=uri:tel:+1-555-0100;ext=12\n", F::MobileTelephoneNumber, "+1-555-0100"},
        Filing{"SecondPagerNeverTakesAVoiceField", "TEL;TYPE=pager:13\nTEL;TYPE=pager:14\n", F::MobileTelephoneNumber,
               ""}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

struct Broken {
    const char* name;
    const char* text;
    const char* message;  // the start of the error
};
void PrintTo(const Broken& row, std::ostream* out) { *out << row.name; }

class VCardBroken : public ::testing::TestWithParam<Broken> {};

}  // namespace

TEST_P(VCardBroken, NamesTheLineAndGivesNothing) {
    auto contents = ParseVCards(GetParam().text);
    ASSERT_TRUE(contents.error.has_value());
    EXPECT_EQ(contents.error->message.rfind(GetParam().message, 0), 0u) << contents.error->message;
    EXPECT_TRUE(contents.contacts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    VCard, VCardBroken,
    ::testing::Values(
        Broken{"Empty", "\r\n \r\n", "line 1: not a vCard: the file is empty"},
        Broken{"NotAVCard", "\x89PNG\r\n\x1a\n\0\0", "line 1: not a vCard: expected BEGIN:VCARD, found \"?PNG\""},
        Broken{"MissingEnd", "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\n\n",
               "line 6: the card begun on line 4 has no END:VCARD"},
        Broken{"TextBetweenCards", "BEGIN:VCARD\nFN:A\nEND:VCARD\nFN:B\n", "line 4: expected BEGIN:VCARD"},
        Broken{"LineWithoutColon", "BEGIN:VCARD\nVERSION:3.0\nFN:A\nTEL;TYPE=cell 555\nEND:VCARD\n",
               "line 4: the parameters of TEL are not followed by ':'"},
        Broken{"NoPropertyName", "BEGIN:VCARD\n:A\nEND:VCARD\n", "line 2: a property without a name"},
        Broken{"UnclosedQuote", "BEGIN:VCARD\nTEL;TYPE=\"cell:1\nEND:VCARD\n", "line 2: a quoted value of TEL"},
        Broken{"Version5", "BEGIN:VCARD\nVERSION:5.0\nEND:VCARD\n", "line 2: vCard version \"5.0\" is not supported"},
        Broken{"UnknownCharset", "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=SHIFT_JIS:A\nEND:VCARD\n",
               "line 3: the character set \"SHIFT_JIS\" of N is not supported"},
        Broken{"Base64Name", "BEGIN:VCARD\nVERSION:2.1\nFN;ENCODING=BASE64:QQ==\nEND:VCARD\n",
               "line 3: FN is encoded as \"BASE64\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VCardImport, AddsEveryCardOrNone) {
    velmo::test::TempDevice device;
    velmo::device::ContactStore store;
    store.Add(Only("BEGIN:VCARD\nFN:Already there\nEND:VCARD\n"));
    auto file = device.Root() / "cards.vcf";
    std::ofstream(file) << "BEGIN:VCARD\nFN:One\nTEL;CELL:1\nEND:VCARD\nBEGIN:VCARD\nFN:Two\nTEL;CELL:2\n";
    try {
        velmo::device::ImportVCardFile(store, file);
        ADD_FAILURE() << "a file whose last card has no end was imported";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cards.vcf: line 7: the card begun on line 5 has no END:VCARD"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(store.Load().Size(), 1u);

    std::ofstream(file, std::ios::app) << "END:VCARD\n";
    auto imported = velmo::device::ImportVCardFile(store, file);
    ASSERT_EQ(imported.oids.size(), 2u);
    auto contacts = store.Load();
    ASSERT_EQ(contacts.Size(), 3u);
    EXPECT_EQ(contacts.Oid(2), imported.oids[1]);
    EXPECT_EQ(contacts.Field(2, F::MobileTelephoneNumber), u"2");
}

TEST(VCardImport, RefusesAFileLargerThanAnyAddressBookUnread) {
    velmo::test::TempDevice device;
    velmo::device::ContactStore store;
    auto file = device.Root() / "huge.vcf";
    std::ofstream(file) << "BEGIN:VCARD\nFN:One\nTEL;CELL:1\nEND:VCARD\n";
    // Sparse: the size is there without the bytes being written.
    std::filesystem::resize_file(file, velmo::device::MaxVCardFileBytes + 1);
    try {
        velmo::device::ImportVCardFile(store, file);
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("huge.vcf: larger than 64 MB"), std::string::npos) << e.what();
    }
    EXPECT_EQ(store.Load().Size(), 0u);
}
