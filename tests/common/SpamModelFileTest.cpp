#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

#include "common/OneTimeCode.h"
#include "common/SpamModelFile.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

std::vector<std::uint8_t> IntactModel() {
    SpamModel model;
    model.shape = SpamFeatureShape{MinSpamBucketBits, 1, 4, 2};
    model.threshold = 0.6F;
    model.bias = -1.0F;
    for (std::size_t i = 0; i < std::size_t{1} << MinSpamBucketBits; ++i) {
        model.weights.push_back(static_cast<float>(i % 7) - 3.0F);
    }
    return SerializeSpamModel(model);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A change behind the check, with the check made right again: what only the numbers' own limits catch.
std::function<void(std::vector<std::uint8_t>&)> Checked(std::size_t offset, std::uint32_t value) {
    return [offset, value](std::vector<std::uint8_t>& bytes) {
        Put32(bytes, offset, value);
        Put32(bytes, 60, SpamModelCheck(bytes));
    };
}

struct DamageRow {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    bool sound;
};
void PrintTo(const DamageRow& row, std::ostream* out) { *out << row.name; }

class SpamModelDamage : public testing::TestWithParam<DamageRow> {};

// The reader takes only a whole, checked model; the handler's cached read of the file says
// the same, so a damaged file judges nothing spam rather than everything.
TEST_P(SpamModelDamage, OnlyASoundFileJudges) {
    const DamageRow& row = GetParam();
    std::vector<std::uint8_t> bytes = IntactModel();
    ASSERT_FALSE(bytes.empty());
    row.damage(bytes);
    EXPECT_EQ(SpamModelView::Parse(bytes).has_value(), row.sound);

    test::TempDevice device;
    const std::filesystem::path file = device.Root() / "SpamModel.dat";
    test::WriteFileBytes(file, bytes);
    const auto verdict = JudgeSpamWithFile(device::ToUtf16(file.string()), u"Claim your prize now");
    EXPECT_EQ(verdict.has_value(), row.sound);
    if (verdict) {
        EXPECT_TRUE(verdict->score > 0.0 && verdict->score < 1.0);
    }
}

constexpr std::uint32_t kNaN = 0x7FC00000u;

INSTANTIATE_TEST_SUITE_P(
    SpamModelFile, SpamModelDamage,
    testing::Values(DamageRow{"Intact", [](auto&) {}, true}, DamageRow{"Empty", [](auto& b) { b.clear(); }, false},
                    DamageRow{"HeaderOnly", [](auto& b) { b.resize(SpamModelHeaderSize); }, false},
                    DamageRow{"LastWeightCut", [](auto& b) { b.pop_back(); }, false},
                    DamageRow{"ByteAppended", [](auto& b) { b.push_back(0); }, false},
                    DamageRow{"OtherMagic", [](auto& b) { b[0] = 'W'; }, false},
                    DamageRow{"LaterVersion", Checked(32, 3), false},
                    DamageRow{"VersionOneOfOtherBuckets", Checked(32, 1), false},
                    DamageRow{"WeightBitFlipped", [](auto& b) { b[SpamModelHeaderSize + 5] ^= 0x10; }, false},
                    DamageRow{"CheckBitFlipped", [](auto& b) { b[61] ^= 0x01; }, false},
                    DamageRow{"TableTooLarge", Checked(36, MaxSpamBucketBits + 1), false},
                    DamageRow{"TableDoesNotMatchSize", Checked(36, MinSpamBucketBits + 1), false},
                    DamageRow{"GramsOutOfOrder", Checked(40, 6), false},
                    DamageRow{"NoWordFeatureKind", Checked(48, 3), false},
                    DamageRow{"ThresholdOne", Checked(52, std::bit_cast<std::uint32_t>(1.0F)), false},
                    DamageRow{"ThresholdNaN", Checked(52, kNaN), false},
                    DamageRow{"BiasInfinite",
                              Checked(56, std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity())), false},
                    DamageRow{"WeightNaN", Checked(SpamModelHeaderSize + 40, kNaN), false}),
    [](const auto& info) { return std::string(info.param.name); });

struct FeatureRow {
    const char* name;
    std::u16string text;
    std::u16string feature;  // a name among the text's features
};
void PrintTo(const FeatureRow& row, std::ostream* out) { *out << row.name; }

class SpamFeatureKinds : public testing::TestWithParam<FeatureRow> {};

// Each kind of feature is found in a message that carries it, and only there: the same words
// without it lack it; a lure's mark weighs more in the vector than an n-gram.
TEST_P(SpamFeatureKinds, FindsEachKind) {
    const FeatureRow& row = GetParam();
    const SpamFeatureShape shape;
    auto names = [&](std::u16string_view text) {
        std::vector<std::pair<std::uint32_t, std::u16string>> found;
        NameSpamFeatures(text, shape, nullptr,
                         [&](std::uint32_t b, const std::u16string& n) { found.emplace_back(b, n); });
        return found;
    };
    const auto found = names(row.text);
    const auto at = std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.second == row.feature; });
    ASSERT_NE(at, found.end()) << device::ToUtf8(row.feature);
    const auto without = names(u"Hello there, see you at the station tonight");
    EXPECT_EQ(std::count_if(without.begin(), without.end(), [&](const auto& f) { return f.second == row.feature; }), 0);
    std::vector<SpamFeature> vector;
    SpamFeatureVector(row.text, shape, vector);
    const auto bucket =
        std::find_if(vector.begin(), vector.end(), [&](const SpamFeature& f) { return f.bucket == at->first; });
    ASSERT_NE(bucket, vector.end());
    const bool mark = row.feature.front() != u'"';
    EXPECT_FLOAT_EQ(bucket->value * std::sqrt(static_cast<float>(vector.size())), mark ? SpamMarkScale : 1.0F);
}

INSTANTIATE_TEST_SUITE_P(
    SpamFeatures, SpamFeatureKinds,
    testing::Values(FeatureRow{"Word", u"Claim NOW", u"\"claim\""},
                    FeatureRow{"WordPair", u"claim now", u"\"claim now\""},
                    FeatureRow{"DigitsAsOneClass", u"call 0800", u"\"####\""},
                    FeatureRow{"WordOfAnotherScript", u"Ваша посылка ждёт", u"\"посылка\""},
                    FeatureRow{"Link", u"see www.example.org now", u"a link"},
                    FeatureRow{"LinkHost", u"Pay at https://toll-pay.top/x", u"link to toll-pay.top"},
                    FeatureRow{"LinkLastLabel", u"Pay at https://toll-pay.top/x", u"link to a .top host"},
                    FeatureRow{"BareIp", u"Log in: http://192.168.4.20/bank", u"link to a bare IP address"},
                    FeatureRow{"Shortener", u"Track it: bit.ly/3xYz", u"link through a shortener"},
                    FeatureRow{"DigitsInHost", u"Visit parcel24.info now", u"digits in a link's host"},
                    FeatureRow{"HyphenInHost", u"Visit royal-post.com now", u"a hyphen in a link's host"},
                    FeatureRow{"BrandInHost", u"Verify at https://paypal-check.net",
                               u"a brand word inside a link's host"},
                    FeatureRow{"PathAfterShortHost", u"Open https://qi.lv/Wyn", u"a path after a short host"},
                    FeatureRow{"HostOfNamedSender", u"Paytm: queries? m.paytm.me/care",
                               u"link to the host of a name in the message"},
                    FeatureRow{"HostOfTwoNamedWords", u"Mint Mobile: renew at https://mintmobile.com/plan",
                               u"link to the host of a name in the message"},
                    FeatureRow{"MailAddress", u"write to win@prizes.example", u"an e-mail address"},
                    FeatureRow{"MoneyAmount", u"You won £1,000 today", u"a sum of money"},
                    FeatureRow{"Currency", u"You won £1,000 today", u"a sum in £"},
                    FeatureRow{"CurrencyCode", u"Pay Rs.179 today", u"a sum in rs"},
                    FeatureRow{"Percentage", u"Get 400% bonus", u"a percentage"},
                    FeatureRow{"PhoneNumber", u"Call 07700 900 123 today", u"a phone number"},
                    FeatureRow{"InternationalNumber", u"Call +44 7700 900123", u"an international phone number"},
                    FeatureRow{"PremiumNumber", u"Call 09061701461 now", u"a premium-rate number"},
                    FeatureRow{"ShortCode", u"Text WIN to 87121", u"a number of 5 digits"},
                    FeatureRow{"CodeOfLettersAndDigits", u"Your ref AACEKTV2AG8Z", u"a code of letters and digits"},
                    FeatureRow{"OneTimeCode", u"Your verification code is 123456", u"a one-time code"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CodeRow {
    const char* name;
    std::u16string text;
    bool code;
};
void PrintTo(const CodeRow& row, std::ostream* out) { *out << row.name; }

class OneTimeCodeRule : public testing::TestWithParam<CodeRow> {};

// Every common phrasing of a one-time code is held back, in the languages the rule knows;
// the words alone, or a number far from them, are not a code.
TEST_P(OneTimeCodeRule, HoldsBackCodes) { EXPECT_EQ(CarriesOneTimeCode(GetParam().text), GetParam().code); }

INSTANTIATE_TEST_SUITE_P(
    OneTimeCode, OneTimeCodeRule,
    testing::Values(CodeRow{"VerificationCodeAfter", u"Your verification code is 482913.", true},
                    CodeRow{"CodeBefore", u"G-482913 is your Google verification code.", true},
                    CodeRow{"SecurityCode", u"Security code: 7731. Don't share it.", true},
                    CodeRow{"LoginCode", u"Your login code: 55 12 90", true},
                    CodeRow{"ConfirmationCode", u"Confirmation code 9FQ2K1 for your booking", true},
                    CodeRow{"Otp", u"OTP for txn of Rs 500 is 839201. Valid 10 mins.", true},
                    CodeRow{"OneTimePassword", u"Use [64547008] as One Time Password to login", true},
                    CodeRow{"Passcode", u"Your passcode is 4417", true},
                    CodeRow{"HyphenatedDigits", u"Your WhatsApp code: 957-128", true},
                    CodeRow{"CapitalsRightAfter", u"Your sign-in code: QXRT", true},
                    CodeRow{"EightDigits", u"Your authentication code is 12345678", true},
                    CodeRow{"French", u"Votre code de vérification est 551203", true},
                    CodeRow{"Spanish", u"Tu código de verificación es 331904", true},
                    CodeRow{"German", u"Ihr Bestätigungscode lautet 774312", true},
                    CodeRow{"Norwegian", u"Din engangskode er 118822", true},
                    CodeRow{"Chinese", u"您的验证码是 839201", true},
                    CodeRow{"TooShort", u"Your verification code is 123", false},
                    CodeRow{"TooLong", u"Your verification code is 1234567890", false},
                    CodeRow{"NoCode", u"Never share your OTP with anyone", false},
                    CodeRow{"ShoutingBefore", u"URGENT CLAIM your prize, OTP needed", false},
                    CodeRow{"PromoCode", u"Use code SAVE20 for 20% off", false},
                    CodeRow{"OtpInsideWord", u"hotpot 4417 tonight", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
