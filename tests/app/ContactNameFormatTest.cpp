#include <gtest/gtest.h>

#include "FakeContactSource.h"
#include "app/core/ContactNameFormat.h"
#include "app/core/NameCompare.h"

namespace velmo {
namespace {

using test::FakeContact;
using test::FakeContactItem;

struct FormatRow {
    const char* name;
    std::int32_t format;
    FakeContact contact;
    std::u16string expected;
};

FakeContact With(std::map<ContactField, std::u16string> fields) { return FakeContact{7, std::move(fields)}; }

class FormatContactNameTest : public testing::TestWithParam<FormatRow> {};

TEST_P(FormatContactNameTest, GivesTheDisplayName) {
    FakeContactItem item(GetParam().contact);
    EXPECT_EQ(FormatContactName(item, GetParam().format), GetParam().expected);
}

const FakeContact kJohnSmith = With({{ContactField::FirstName, u"John"}, {ContactField::LastName, u"Smith"}});
const FakeContact kOnlyJohn = With(
    {{ContactField::FirstName, u"John"}, {ContactField::FileAs, u"J. filed"}, {ContactField::CompanyName, u"Acme"}});

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatContactNameTest,
    testing::Values(
        FormatRow{"LastFirst", 0, kJohnSmith, u"Smith John"}, FormatRow{"FirstLast", 1, kJohnSmith, u"John Smith"},
        FormatRow{"LastOnly", 2, kJohnSmith, u"Smith"}, FormatRow{"LastCommaFirst", 3, kJohnSmith, u"Smith, John"},
        FormatRow{"FirstCommaLast", 4, kJohnSmith, u"John, Smith"},
        FormatRow{"UnknownFormatAsFirstCommaLast", 7, kJohnSmith, u"John, Smith"},
        FormatRow{"NegativeFormatAsFirstCommaLast", -1, kJohnSmith, u"John, Smith"},
        FormatRow{"OneNameNoSpace", 0, kOnlyJohn, u"John"}, FormatRow{"OneNameNoComma", 3, kOnlyJohn, u"John"},
        FormatRow{"OnlyLastNoComma", 4, With({{ContactField::LastName, u"Smith"}}), u"Smith"},
        FormatRow{"LastOnlyFallsBackToFileAs", 2, kOnlyJohn, u"J. filed"},
        FormatRow{"CompanyWhenNoNames", 1,
                  With({{ContactField::CompanyName, u"Acme"}, {ContactField::MobileTelephoneNumber, u"555"}}), u"Acme"},
        FormatRow{
            "MobileBeforeBusiness", 0,
            With({{ContactField::BusinessTelephoneNumber, u"222"}, {ContactField::MobileTelephoneNumber, u"111"}}),
            u"111"},
        FormatRow{"HomeBeforeCar", 0,
                  With({{ContactField::CarTelephoneNumber, u"777"}, {ContactField::Home2TelephoneNumber, u"555"}}),
                  u"555"},
        FormatRow{"OnlyCar", 2, With({{ContactField::CarTelephoneNumber, u"+1 555 0101"}}), u"+1 555 0101"},
        FormatRow{"OnlyRadio", 2, With({{ContactField::RadioTelephoneNumber, u"9"}}), u"9"},
        FormatRow{"EmailOnly", 0, With({{ContactField::Email1Address, u"ada@example.org"}}), u"ada@example.org"},
        FormatRow{"SecondEmailWhenTheFirstIsEmpty", 1, With({{ContactField::Email2Address, u"bo@example.org"}}),
                  u"bo@example.org"},
        FormatRow{"TelephoneBeforeEmail", 2,
                  With({{ContactField::Email1Address, u"cy@example.org"}, {ContactField::RadioTelephoneNumber, u"9"}}),
                  u"9"},
        FormatRow{"Nothing", 0, With({}), u""}),
    [](const testing::TestParamInfo<FormatRow>& info) { return info.param.name; });

TEST(FormatContactName, ReadsBothNamesFirstNameFirstInEveryTwoNameFormat) {
    for (std::int32_t format : {0, 1, 3, 4}) {
        std::vector<ContactField> reads;
        FakeContactItem item(kJohnSmith, &reads);
        FormatContactName(item, format);
        EXPECT_EQ(reads, (std::vector<ContactField>{ContactField::FirstName, ContactField::LastName}))
            << "format " << format;
    }
}

TEST(FormatContactName, CutsALongNameTo255UnitsEndingInAnEllipsis) {
    std::u16string longName(300, u'x');
    FakeContactItem item(With({{ContactField::LastName, longName}}));
    std::u16string name = FormatContactName(item, 2);
    ASSERT_EQ(name.size(), kMaxDisplayName);
    EXPECT_EQ(name.substr(0, 254), longName.substr(0, 254));
    EXPECT_EQ(name.back(), u'\u2026');

    FakeContactItem exact(With({{ContactField::LastName, std::u16string(255, u'y')}}));
    EXPECT_EQ(FormatContactName(exact, 2), std::u16string(255, u'y'));
}

TEST(FormatContactName, DoesNotSplitASurrogatePairWhenCutting) {
    std::u16string name(253, u'a');
    name += u"\U0001F600";  // a pair at units 253 and 254
    name += std::u16string(10, u'b');
    FakeContactItem item(With({{ContactField::LastName, name}}));
    std::u16string cut = FormatContactName(item, 2);
    EXPECT_EQ(cut, std::u16string(253, u'a') + u"\u2026");
}

struct CompareRow {
    const char* name;
    std::u16string a;
    std::u16string b;
    int sign;
};

class CompareNoCaseTest : public testing::TestWithParam<CompareRow> {};

TEST_P(CompareNoCaseTest, OrdersUnitByUnitAfterFolding) {
    int result = CompareNoCase(GetParam().a, GetParam().b);
    EXPECT_EQ((result > 0) - (result < 0), GetParam().sign);
    int reverse = CompareNoCase(GetParam().b, GetParam().a);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -GetParam().sign);
}

INSTANTIATE_TEST_SUITE_P(Names, CompareNoCaseTest,
                         testing::Values(CompareRow{"SameLettersOtherCase", u"bAKer", u"Baker", 0},
                                         CompareRow{"PrefixSortsFirst", u"b", u"Baker", -1},
                                         CompareRow{"EmptySortsFirst", u"", u"a", -1},
                                         CompareRow{"UnderscoreBeforeFoldedLetters", u"_x", u"Zed", -1},
                                         CompareRow{"CyrillicFolds", u"\u0411\u043E\u0440\u0438\u0441",
                                                    u"\u0431\u041E\u0420\u0418\u0421", 0},
                                         CompareRow{"CyrillicIoFolds", u"\u0401", u"\u0451", 0},
                                         CompareRow{"LatinOneFolds", u"\u00C9mile", u"\u00E9MILE", 0},
                                         CompareRow{"LatinExtendedFolds", u"\u0141ukasz", u"\u0142UKASZ", 0},
                                         CompareRow{"GreekFolds", u"\u0391\u03B8", u"\u03B1\u0398", 0},
                                         CompareRow{"ByCodeNotByLocale", u"\u00E4", u"b", 1}),
                         [](const testing::TestParamInfo<CompareRow>& info) { return info.param.name; });

}  // namespace
}  // namespace velmo
