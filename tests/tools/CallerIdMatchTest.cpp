#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/ContactsConnection.h"
#include "common/PhoneDigits.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ContactStore.h"
#include "device/Text.h"
#include "handler/SenderAddress.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

using velmo::device::ContactField;

enum class Owner { Contact, Unknown, Undefined };

struct CallerIdCase {
    const char* name;
    const char16_t* stored;  // the contact's mobile number as the user typed it
    const char* arriving;    // the sender as the network gives it
    Owner owner;
};
void PrintTo(const CallerIdCase& row, std::ostream* out) { *out << row.name; }

// One contact holds the stored number. The installed handler silently accepts its messages
// and dismisses those of unknown senders, so the outcome shows what the handler matched.
class CallerId : public ::testing::TestWithParam<CallerIdCase> {
protected:
    void SetUp() override {
        auto install = velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), {"install"});
        ASSERT_EQ(install.exitCode, 0) << install.errors;
        device.InstallAppPath();
        velmo::device::ContactEntry entry;
        entry[ContactField::LastName] = u"Someone";
        entry[ContactField::MobileTelephoneNumber] = GetParam().stored;
        oid = velmo::device::ContactStore().Add(entry);

        velmo::SettingsStore settings;
        ASSERT_TRUE(settings.SetActiveState(velmo::Active));
        ASSERT_TRUE(settings.SetItemsState(velmo::UserSettings));
        char16_t path[velmo::ContactStateFile::kPathUnits] = {};
        velmo::ContactStateFile file;
        ASSERT_TRUE(settings.ContactsInfoPath(path) && file.SetPath(path));
        file.BeginRebuild(3);
        file.Add(velmo::UnknownSenderKey, velmo::Dismiss);
        file.Add(velmo::UndefinedSenderKey, velmo::Accept);
        file.Add(oid, velmo::SilentAccept);
        ASSERT_TRUE(file.Save());
    }

    velmo::test::TempDevice device;
    LONG oid = 0;
};

TEST_P(CallerId, DecidesTheSendersContactInTheHandlerAndInTheSharedLookup) {
    const std::string from = GetParam().arriving;
    auto result = velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(),
                                          {"sms", "receive", "--from", from, "--text", "hello"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string head = from + " \"hello\": event ";
    switch (GetParam().owner) {
        case Owner::Contact:
            EXPECT_EQ(result.output, "silently accepted: " + head +
                                         "0x0000001C, MRC_HANDLED_DONTCONTINUE; sender key " + std::to_string(oid) +
                                         " (Someone); replaced by a read copy in the Inbox\n");
            break;
        case Owner::Unknown:
            EXPECT_EQ(result.output, "dismissed: " + head +
                                         "0x00000008, MRC_HANDLED_DONTCONTINUE; sender key -1 (unknown); "
                                         "deleted from the Inbox\n");
            break;
        case Owner::Undefined:
            EXPECT_EQ(
                result.output,
                "accepted: " + head + "0x00000000, MRC_NOT_HANDLED; sender key -2 (undefined); in the Inbox, unread\n");
            break;
    }

    // The connection VelmoLight shares with the handler compares numbers the same way.
    velmo::ContactsConnection connection;
    ASSERT_TRUE(connection.Open());
    std::int32_t key = 0;
    const bool found =
        connection.FindContact(velmo::KeepDigits(velmo::ExtractSenderAddress(velmo::device::ToUtf16(from))), key);
    EXPECT_EQ(found, GetParam().owner == Owner::Contact);
    if (found) {
        EXPECT_EQ(key, oid);
    }
}

INSTANTIATE_TEST_SUITE_P(
    NumberingPlans, CallerId,
    ::testing::Values(
        CallerIdCase{"FranceNationalStoredInternationalArriving", u"01 23 45 67 89", "+33 1 23 45 67 89",
                     Owner::Contact},
        CallerIdCase{"FranceInternationalStoredNationalArriving", u"+33 6 12 34 56 78", "06 12 34 56 78",
                     Owner::Contact},
        CallerIdCase{"FranceDialledWith00", u"01 23 45 67 89", "0033 1 23 45 67 89", Owner::Contact},
        CallerIdCase{"FranceOtherNumberSameEnding", u"01 23 45 67 89", "+33 9 23 45 67 89", Owner::Unknown},
        CallerIdCase{"NetherlandsMobile", u"06 1234 5678", "+31 6 12345678", Owner::Contact},
        CallerIdCase{"NetherlandsOtherCitySameSubscriber", u"020 123 4567", "+31 10 123 4567", Owner::Unknown},
        CallerIdCase{"UnitedKingdomMobile", u"07700 900123", "+44 7700 900123", Owner::Contact},
        CallerIdCase{"UnitedKingdomDialledFromTheUs", u"07700 900123", "011 44 7700 900123", Owner::Contact},
        CallerIdCase{"UsStoredWithoutOne", u"(555) 010-0123", "+1 555 010 0123", Owner::Contact},
        CallerIdCase{"UsStoredWithOne", u"+1 555 010 0123", "555-010-0123", Owner::Contact},
        CallerIdCase{"JapanTokyoLandline", u"03-1234-5678", "+81 3 1234 5678", Owner::Contact},
        CallerIdCase{"JapanMobile", u"090-1234-5678", "+81 90 1234 5678", Owner::Contact},
        CallerIdCase{"RussiaTrunkEight", u"8 912 345-67-89", "+7 912 345 67 89", Owner::Contact},
        CallerIdCase{"HungaryTrunk06", u"06 1 234 5678", "+36 1 234 5678", Owner::Contact},
        CallerIdCase{"Trunk06IsHungarysOnly", u"06 1 234 5678", "+31 1 234 5678", Owner::Unknown},
        CallerIdCase{"BelarusTrunk80", u"8 029 123-45-67", "+375 29 123 45 67", Owner::Contact},
        CallerIdCase{"SameNationalNumberInAnotherCountry", u"+33 1 23 45 67 89", "+32 1 23 45 67 89", Owner::Unknown},
        CallerIdCase{"ShortCodeAgainstTheEndOfAContact", u"+44 7700 904141", "4141", Owner::Unknown},
        CallerIdCase{"ShortCodeStoredAsSuch", u"4141", "4141", Owner::Contact},
        CallerIdCase{"OneDigitSender", u"+44 7700 900122", "promo2@spam.example", Owner::Unknown},
        CallerIdCase{"AlphanumericSender", u"+44 7700 900122", "ParcelNet", Owner::Undefined}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
