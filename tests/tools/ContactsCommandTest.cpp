#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
}

class ContactsCommand : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
};

struct BadArguments {
    const char* name;
    std::vector<std::string> args;
    const char* error;  // part of what the command says
};
void PrintTo(const BadArguments& row, std::ostream* out) { *out << row.name; }

// Any command's arguments that make no sense: refused with exit status 2 and words that say why.
class CommandLineRefuses : public ContactsCommand, public ::testing::WithParamInterface<BadArguments> {};

}  // namespace

TEST_F(ContactsCommand, AddsListsRemovesAndClears) {
    auto added = Device(
        {"contacts", "add", "--first", "Zoë", "--last", "Marsh", "--mobile", "+1 555 0100", "--home-fax", "555 0199"});
    ASSERT_EQ(added.exitCode, 0) << added.errors;
    EXPECT_EQ(added.output, "added contact 1\n");
    ASSERT_EQ(Device({"contacts", "add", "--company", "Greenway Dental"}).exitCode, 0);

    EXPECT_EQ(Device({"contacts", "list"}).output,
              "1  first=Zoë  last=Marsh  mobile=+1 555 0100  home-fax=555 0199  action=Accept\n"
              "2  company=Greenway Dental  action=Accept\n");
    EXPECT_EQ(Device({"contacts", "remove", "1"}).output, "removed contact 1\n");
    auto again = Device({"contacts", "remove", "1"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.errors.find("no contact has the object identifier 1"), std::string::npos) << again.errors;
    EXPECT_EQ(Device({"contacts", "clear"}).output, "removed 1 contact\n");
    EXPECT_EQ(Device({"contacts", "list"}).output, "no contacts\n");
}

TEST_F(ContactsCommand, ImportsAFileAndNamesWhatItLeftOut) {
    auto file = device.Root() / "two.vcf";
    std::ofstream(file) << "BEGIN:VCARD\nVERSION:3.0\nFN:A\nTEL;TYPE=pager:1\nTEL;TYPE=pager:2\nEND:VCARD\n"
                           "BEGIN:VCARD\nVERSION:3.0\nFN:B\nEND:VCARD\n";
    auto result = Device({"contacts", "import", file.string()});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output, file.string() +
                                 ": line 5: no free telephone field for 2; left out\nimported 2 contacts from " +
                                 file.string() + "\n");
}

// A second import of cards: those the book holds with the same name and numbers are left out.
struct ImportAgain {
    const char* name;
    const char* cards;  // the second file
    std::vector<std::string> options;
    const char* added;    // "imported ADDED from FILE"
    const char* leftOut;  // what follows, for the cards left out
    std::size_t contacts;
};

class ContactsImportAgain : public ContactsCommand, public ::testing::WithParamInterface<ImportAgain> {};

TEST_P(ContactsImportAgain, AddsOnlyWhatIsNew) {
    const std::string first =
        "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann\nTEL;TYPE=cell:+1 555 0100\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nFN:Bo\nEMAIL:bo@example.org\nEND:VCARD\n";
    std::ofstream(device.Root() / "first.vcf") << first;
    std::ofstream(device.Root() / "second.vcf") << GetParam().cards;
    ASSERT_EQ(Device({"contacts", "import", (device.Root() / "first.vcf").string()}).exitCode, 0);
    std::vector<std::string> args = {"contacts", "import", (device.Root() / "second.vcf").string()};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    auto result = Device(args);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output,
              std::string("imported ") + GetParam().added + " from " + args[2] + GetParam().leftOut + "\n");
    auto list = Device({"contacts", "list"}).output;
    EXPECT_EQ(static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n')), GetParam().contacts) << list;
}

INSTANTIATE_TEST_SUITE_P(
    ContactsCommand, ContactsImportAgain,
    ::testing::Values(ImportAgain{"TheSameCards",
                                  "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann\nTEL;TYPE=cell:+1 555 0100\nEND:VCARD\n"
                                  "BEGIN:VCARD\nVERSION:3.0\nFN:Bo\nEMAIL:bo@other.example\nEND:VCARD\n",
                                  {},
                                  "0 contacts",
                                  "; left out 2 contacts already in the address book with the same name and numbers "
                                  "(--duplicates adds them)",
                                  2},
                      ImportAgain{"TheSameCardsWithDuplicates",
                                  "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann\nTEL;TYPE=cell:+1 555 0100\nEND:VCARD\n",
                                  {"--duplicates"},
                                  "1 contact",
                                  "",
                                  3},
                      ImportAgain{"ANewNumberMakesANewContact",
                                  "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann\nTEL;TYPE=cell:+1 555 0101\nEND:VCARD\n",
                                  {},
                                  "1 contact",
                                  "",
                                  3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactsCommand, ABrokenFileImportsNothing) {
    auto file = device.Root() / "broken.vcf";
    std::ofstream(file) << "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nTEL;TYPE=\"cell:1\nEND:VCARD\n";
    auto result = Device({"contacts", "import", file.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("broken.vcf: line 6: a quoted value of TEL has no closing quote"), std::string::npos)
        << result.errors;
    EXPECT_EQ(Device({"contacts", "list"}).output, "no contacts\n");
}

TEST_P(CommandLineRefuses, WithExitStatusTwo) {
    auto result = Device(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find(GetParam().error), std::string::npos) << result.errors;
}

INSTANTIATE_TEST_SUITE_P(
    ContactsCommand, CommandLineRefuses,
    ::testing::Values(
        BadArguments{"NoSubcommand",
                     {"contacts"},
                     "velmo-device: contacts needs a command: list, add, import, remove, clear or action"},
        BadArguments{"MisspelledCommand", {"inbx"}, "no command inbx; did you mean inbox?"},
        BadArguments{"MisspelledCommandBeforeItsOptions", {"contcts", "add", "--first", "A"}, "did you mean contacts?"},
        BadArguments{
            "MisspelledSubcommand", {"contacts", "lst"}, "no command contacts lst; did you mean contacts list?"},
        BadArguments{"NoCommandNearIt", {"frobnicate"}, "no command frobnicate; the commands are registry, contacts"},
        BadArguments{"ImportMissingExport",
                     {"import", "/nonexistent/export.json"},
                     "cannot open /nonexistent/export.json: No such file or directory"},
        BadArguments{"TodayClosingAtOnce", {"today", "--exit-after", "0"}, "takes 0.001 to 2147483 seconds, not 0"},
        BadArguments{"AddWithoutFields", {"contacts", "add"}, "needs at least one field"},
        BadArguments{"AddUnknownField", {"contacts", "add", "--fax", "1"}, "--fax"},
        BadArguments{"AddMistypedField",
                     {"contacts", "add", "--frist", "Ann"},
                     "contacts add has no option --frist (did you mean --first?); its options are "
                     "--help, --first, --last"},
        BadArguments{"RemoveText", {"contacts", "remove", "x"}, "not in range 1 to 2147483647"},
        BadArguments{"RemoveZero", {"contacts", "remove", "0"}, "not in range 1 to 2147483647"},
        BadArguments{"ImportMissingFile", {"contacts", "import", "/nonexistent/cards.vcf"}, "File does not exist"}),
    [](const auto& info) { return std::string(info.param.name); });
