#include <gtest/gtest.h>

#include <filesystem>

#include "common/SettingsStore.h"
#include "device/ContactStore.h"
#include "handler/SenderLookup.h"
#include "support/HandlerDevice.h"

using namespace velmo;
using velmo::test::HandlerDevice;
namespace fs = std::filesystem;

namespace {

LONG AddContact(const std::u16string& mobile) {
    device::ContactStore contacts;
    device::ContactEntry entry;
    entry[device::ContactField::MobileTelephoneNumber] = mobile;
    return contacts.Add(entry);
}

TEST(LookupSenderAction, FirstEntryWithTheKeyGivesTheAction) {
    HandlerDevice h;
    LONG anna = AddContact(u"+1 555 010 0123");
    h.WriteContactStates({{Accept, UnknownSenderKey}, {Dismiss, anna}, {SilentAccept, anna}});

    EXPECT_EQ(LookupSenderAction(u"15550100123"), Dismiss);
}

// Without "AppPath" a ContactsInfo.dat in the host's working directory is not taken for the program's.
TEST(LookupSenderAction, WithoutAppPathTakesDefActionType) {
    HandlerDevice h(false);
    SettingsStore().SetDefActionType(SilentAccept);
    const fs::path previous = fs::current_path();
    fs::current_path(h.Device().Root());
    h.WriteContactStates({{Dismiss, UnknownSenderKey}});

    std::int32_t action = LookupSenderAction(u"15550100123");

    fs::current_path(previous);
    EXPECT_EQ(action, SilentAccept);
}

}  // namespace
