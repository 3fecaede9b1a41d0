#include <gtest/gtest.h>

#include <stdexcept>

#include "device/Registry.h"
#include "device/TodayItems.h"
#include "support/TempDevice.h"

namespace {

using velmo::device::RegisteredTodayItems;
using velmo::device::RegisterTodayItem;
using velmo::device::UnregisterTodayItem;

class TodayItems : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
};

TEST_F(TodayItems, RegistrationWritesTheKeyTheTodayScreenReads) {
    RegisterTodayItem(u"VelmoLight Today", u"/d/Windows/VelmoToday.dll");

    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\VelmoLight Today", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    char16_t dll[64] = {};
    DWORD type = 0, size = sizeof dll;
    ASSERT_EQ(RegQueryValueExW(key, u"DLL", nullptr, &type, reinterpret_cast<BYTE*>(dll), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::u16string(dll), u"/d/Windows/VelmoToday.dll");
    for (auto [name, expected] : {std::pair{u"Type", 4u}, std::pair{u"Enabled", 1u}}) {
        DWORD value = 0;
        size = sizeof value;
        ASSERT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, REG_DWORD);
        EXPECT_EQ(value, expected);
    }
    RegCloseKey(key);
}

TEST_F(TodayItems, ListsEveryItemAndForgetsRemovedOnes) {
    EXPECT_TRUE(RegisteredTodayItems().empty());
    RegisterTodayItem(u"B", u"/old.dll");
    RegisterTodayItem(u"A", u"/a.dll");
    RegisterTodayItem(u"B", u"/new.dll");
    auto items = RegisteredTodayItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, u"A");
    EXPECT_EQ(items[1].name, u"B");
    EXPECT_EQ(items[1].dll, u"/new.dll");
    EXPECT_EQ(items[1].type, 4u);
    EXPECT_TRUE(items[1].enabled);

    EXPECT_TRUE(UnregisterTodayItem(u"A"));
    EXPECT_FALSE(UnregisterTodayItem(u"A"));
    items = RegisteredTodayItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, u"B");
}

TEST_F(TodayItems, NameThatWouldNameAnotherKeyIsRefused) {
    EXPECT_THROW(RegisterTodayItem(u"", u"/a.dll"), std::runtime_error);
    EXPECT_THROW(RegisterTodayItem(u"..\\Apps", u"/a.dll"), std::runtime_error);
    EXPECT_THROW(UnregisterTodayItem(u"x\\y"), std::runtime_error);
    EXPECT_TRUE(RegisteredTodayItems().empty());
}

}  // namespace
