#include <gtest/gtest.h>

#include <thread>

#include "device/Com.h"
#include "support/TempDevice.h"

using velmo::device::FormatGuid;
using velmo::device::ParseGuid;
using velmo::device::RegisterBuiltInClass;

namespace {

constexpr GUID RuleClientClass = {0x7E3A91C2, 0x5B04, 0x4D6F, {0xA8, 0xE1, 0x29, 0xC6, 0xB0, 0xF4, 0xD3, 0x57}};
constexpr CLSID TestClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

struct ScopedCom {
    ScopedCom() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ScopedCom() { CoUninitialize(); }
};

// What the last call of the test class's creator was given.
IUnknown* seenOuter = nullptr;
GUID seenIid{};
int dummyObject = 0;

HRESULT CreateTestObject(IUnknown* outer, REFIID riid, void** object) {
    seenOuter = outer;
    seenIid = riid;
    *object = &dummyObject;
    return S_OK;
}

}  // namespace

TEST(Guid, FormatsInBracesWithUpperCaseDigitsAndParsesBack) {
    EXPECT_EQ(FormatGuid(RuleClientClass), u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}");
    EXPECT_EQ(FormatGuid(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
    auto parsed = ParseGuid(u"{7e3a91c2-5b04-4d6f-a8e1-29c6b0f4d357}");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(*parsed == RuleClientClass);
}

TEST(Guid, ComparesAllSixteenBytes) {
    GUID other = RuleClientClass;
    other.Data4[7] ^= 1;
    EXPECT_FALSE(other == RuleClientClass);
    EXPECT_FALSE(IID_IUnknown == IID_IClassFactory);
    EXPECT_TRUE(IsEqualIID(IID_IUnknown, GUID{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));
}

namespace {

struct BadGuidText {
    const char* name;
    std::u16string text;
};
void PrintTo(const BadGuidText& row, std::ostream* out) { *out << row.name; }

class GuidRejects : public ::testing::TestWithParam<BadGuidText> {};

}  // namespace

TEST_P(GuidRejects, Text) { EXPECT_FALSE(ParseGuid(GetParam().text).has_value()); }

INSTANTIATE_TEST_SUITE_P(Guid, GuidRejects,
                         ::testing::Values(BadGuidText{"Empty", u""},
                                           BadGuidText{"WithoutBraces", u"7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357"},
                                           BadGuidText{"NonHexDigit", u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D35G}"},
                                           BadGuidText{"DashMoved", u"{7E3A91C25-B04-4D6F-A8E1-29C6B0F4D357}"},
                                           BadGuidText{"FourthGroupTooLong", u"{7E3A91C2-5B04-4D6F-A8E129C6-B0F4D357}"},
                                           BadGuidText{"OneDigitShort", u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D35}"},
                                           BadGuidText{"TrailingText", u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}x"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CoInitialize, IsCountedPerThread) {
    velmo::test::TempDevice device;
    void* object = nullptr;
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    std::thread([] {
        void* elsewhere = nullptr;
        EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &elsewhere),
                  CO_E_NOTINITIALIZED);
    }).join();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    CoUninitialize();
    object = &object;
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    CoUninitialize();  // one too many changes nothing
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
}

TEST(CoInitialize, RefusesAReservedArgument) {
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
}

TEST(CoCreateInstance, UnknownClassIsNotRegistered) {
    velmo::test::TempDevice device;  // a class not built in is looked up in the device's registry
    ScopedCom com;
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(RuleClientClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(RuleClientClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
}

TEST(CoCreateInstance, HandsTheRequestToTheBuiltInClassWhileItIsRegistered) {
    velmo::test::TempDevice device;
    ScopedCom com;
    ASSERT_EQ(RegisterBuiltInClass(TestClass, &CreateTestObject), nullptr);
    int outer = 0;
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(TestClass, reinterpret_cast<IUnknown*>(&outer), CLSCTX_INPROC_SERVER, IID_IClassFactory,
                               &object),
              S_OK);
    EXPECT_EQ(object, &dummyObject);
    EXPECT_EQ(seenOuter, reinterpret_cast<IUnknown*>(&outer));
    EXPECT_TRUE(seenIid == IID_IClassFactory);
    // Only in-process classes exist.
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, 0x4 /* local server */, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);

    EXPECT_EQ(RegisterBuiltInClass(TestClass, nullptr), &CreateTestObject);
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}
