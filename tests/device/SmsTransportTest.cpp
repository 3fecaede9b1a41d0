#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "device/Clock.h"
#include "device/DeviceRoot.h"
#include "device/Installer.h"
#include "device/LockFile.h"
#include "device/Registry.h"
#include "device/SmsTransport.h"
#include "device/Text.h"
#include "support/TempDevice.h"

namespace {

using velmo::device::IncomingSms;
using velmo::device::MessageStore;
using velmo::device::Property;
using velmo::device::RuleClientAnswer;
using velmo::device::SmsLocation;
using velmo::device::SmsOutcome;
using velmo::device::SmsTransport;

// A rule client that answers as its slot says and counts what was asked of it.
struct Behaviour {
    HRESULT create = S_OK;
    HRESULT initialize = S_OK;
    HRESULT process = S_OK;
    ULONG eventType = 0;
    MRCHANDLED handled = MRC_NOT_HANDLED;
};

struct Slot {
    Behaviour behaviour;
    int created = 0;
    int processed = 0;
    int alive = 0;
    std::vector<std::uint8_t> lastMessage;
};

Slot slots[2];

class StandInClient final : public IMailRuleClient {
public:
    explicit StandInClient(Slot& slot) : slot_(slot) { ++slot_.alive; }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid != IID_IUnknown && riid != IID_IMailRuleClient) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++count_; }
    ULONG Release() override {
        ULONG left = --count_;
        if (left == 0) {
            --slot_.alive;
            delete this;
        }
        return left;
    }
    HRESULT Initialize(IMsgStore*, MRCACCESS* access) override {
        *access = MRC_ACCESS_WRITE;
        return slot_.behaviour.initialize;
    }
    HRESULT ProcessMessage(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG, LPENTRYID, ULONG* eventType,
                           MRCHANDLED* handled) override {
        ++slot_.processed;
        slot_.lastMessage.assign(reinterpret_cast<BYTE*>(lpMsg), reinterpret_cast<BYTE*>(lpMsg) + cbMsg);
        // The message is in the store when the client is asked.
        IUnknown* message = nullptr;
        EXPECT_EQ(store->OpenEntry(cbMsg, lpMsg, nullptr, 0, nullptr, &message), S_OK);
        if (message != nullptr) message->Release();
        if (SUCCEEDED(slot_.behaviour.process)) {
            *eventType = slot_.behaviour.eventType;
            *handled = slot_.behaviour.handled;
        }
        return slot_.behaviour.process;
    }

private:
    ~StandInClient() = default;
    Slot& slot_;
    ULONG count_ = 1;
};

template <int N>
HRESULT CreateStandIn(IUnknown*, REFIID riid, void** object) {
    Slot& slot = slots[N];
    ++slot.created;
    if (FAILED(slot.behaviour.create)) return slot.behaviour.create;
    auto* client = new StandInClient(slot);
    HRESULT result = client->QueryInterface(riid, object);
    client->Release();
    return result;
}

// Enumerated by name, so the first slot is asked first.
constexpr CLSID FirstClient = {0x10000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
constexpr CLSID SecondClient = {0x20000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
constexpr CLSID UnservedClient = {0x00000003, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};

void EnableRuleClient(const std::u16string& name, DWORD enabled = 1) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, velmo::device::SmsRulesKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&enabled), sizeof enabled),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& slot : slots) slot = Slot{};
        velmo::device::RegisterBuiltInClass(FirstClient, &CreateStandIn<0>);
        velmo::device::RegisterBuiltInClass(SecondClient, &CreateStandIn<1>);
    }
    void TearDown() override {
        transport.reset();
        velmo::device::RegisterBuiltInClass(FirstClient, nullptr);
        velmo::device::RegisterBuiltInClass(SecondClient, nullptr);
        for (const auto& slot : slots) EXPECT_EQ(slot.alive, 0) << "the transport releases every rule client it holds";
    }

    velmo::test::TempDevice device;
    MessageStore store;
    std::optional<SmsTransport> transport{std::in_place, store};
};

struct PropertyRow {
    const char* name;
    std::u16string senderName;
};

class TransportStores : public Transport, public ::testing::WithParamInterface<PropertyRow> {};

TEST_P(TransportStores, WhatAHandheldGivesAnSms) {
    auto delivered = std::chrono::time_point_cast<velmo::device::FileTimeTicks>(
        velmo::device::FromFileTime(133'000'000'000'000'000ull));
    IncomingSms sms{u"+44 7700 900123", GetParam().senderName, u"See you at 8", delivered};
    auto receipt = transport->Receive(sms);
    EXPECT_EQ(receipt.outcome, SmsOutcome::NotHandled);
    EXPECT_TRUE(receipt.answers.empty());
    EXPECT_EQ(receipt.location, SmsLocation::InboxUnread);

    auto inbox = store.ListFolder(u"Inbox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].entryId, receipt.entryId);
    auto text = [&](ULONG tag) {
        const Property* property = inbox[0].Find(tag);
        return property != nullptr && property->AsText() != nullptr ? *property->AsText() : u"(none)";
    };
    auto number = [&](ULONG tag) {
        const Property* property = inbox[0].Find(tag);
        return property != nullptr && property->AsNumber() != nullptr ? *property->AsNumber() : -1;
    };
    EXPECT_EQ(text(PR_SENDER_EMAIL_ADDRESS_W), u"+44 7700 900123");
    EXPECT_EQ(text(PR_SUBJECT_W), u"See you at 8");
    EXPECT_EQ(text(PR_MESSAGE_CLASS_W), u"IPM.SMStext");
    EXPECT_EQ(text(PR_ADDRTYPE_W), u"SMS");
    EXPECT_EQ(text(PR_SENDER_NAME_W), GetParam().senderName.empty() ? u"(none)" : GetParam().senderName);
    EXPECT_EQ(number(PR_MESSAGE_FLAGS), 0);
    EXPECT_EQ(number(PR_MESSAGE_SIZE), 24);
    EXPECT_EQ(number(PR_MESSAGE_DELIVERY_TIME), 133'000'000'000'000'000ll);
}

INSTANTIATE_TEST_SUITE_P(Rows, TransportStores,
                         ::testing::Values(PropertyRow{"WithSenderName", u"Kim Ode"},
                                           PropertyRow{"WithoutSenderName", u""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ChainRow {
    const char* name;
    Behaviour first;
    Behaviour second;
    bool unservedFirst;  // a class nobody serves is registered ahead of both
    std::vector<int> processed;
    SmsOutcome outcome;
    std::vector<std::optional<RuleClientAnswer::Step>> failures;
};

class TransportChain : public Transport, public ::testing::WithParamInterface<ChainRow> {};

TEST_P(TransportChain, AsksRuleClientsInTurn) {
    const auto& row = GetParam();
    slots[0].behaviour = row.first;
    slots[1].behaviour = row.second;
    if (row.unservedFirst) EnableRuleClient(velmo::device::FormatGuid(UnservedClient));
    EnableRuleClient(velmo::device::FormatGuid(FirstClient));
    EnableRuleClient(velmo::device::FormatGuid(SecondClient));

    auto receipt = transport->Receive({u"5550100", u"", u"hello", std::nullopt});
    EXPECT_EQ(receipt.outcome, row.outcome);
    EXPECT_EQ(slots[0].processed, row.processed[0]);
    EXPECT_EQ(slots[1].processed, row.processed[1]);
    ASSERT_EQ(receipt.answers.size(), row.failures.size());
    for (std::size_t i = 0; i < row.failures.size(); ++i)
        EXPECT_EQ(receipt.answers[i].failedStep, row.failures[i]) << i;
    // The stand-ins leave the message alone, whatever they answer.
    EXPECT_EQ(receipt.location, SmsLocation::InboxUnread);
    EXPECT_EQ(store.Count(u"Inbox"), 1u);
    if (row.processed[0] == 1) {
        EXPECT_EQ(slots[0].lastMessage, receipt.entryId);
    }
}

constexpr Behaviour Pass{};
constexpr Behaviour Dismiss{S_OK, S_OK, S_OK, fnevObjectDeleted, MRC_HANDLED_DONTCONTINUE};
constexpr Behaviour SilentAccept{S_OK, S_OK, S_OK, 0x1C, MRC_HANDLED_DONTCONTINUE};
constexpr Behaviour HandledContinue{S_OK, S_OK, S_OK, fnevObjectModified, MRC_HANDLED_CONTINUE};
constexpr Behaviour NotCreated{E_OUTOFMEMORY};
constexpr Behaviour InitializeFails{S_OK, E_FAIL};
constexpr Behaviour ProcessFails{S_OK, S_OK, static_cast<HRESULT>(0x8004010Fu)};
using Step = RuleClientAnswer::Step;

INSTANTIATE_TEST_SUITE_P(
    Rows, TransportChain,
    ::testing::Values(
        ChainRow{"DontContinueStopsTheChain", Dismiss, Pass, false, {1, 0}, SmsOutcome::Dismissed, {std::nullopt}},
        ChainRow{"NotHandledGoesOn",
                 Pass,
                 SilentAccept,
                 false,
                 {1, 1},
                 SmsOutcome::SilentlyAccepted,
                 {std::nullopt, std::nullopt}},
        ChainRow{"HandledContinueGoesOn",
                 HandledContinue,
                 Pass,
                 false,
                 {1, 1},
                 SmsOutcome::Accepted,
                 {std::nullopt, std::nullopt}},
        ChainRow{"BothPass", Pass, Pass, false, {1, 1}, SmsOutcome::Accepted, {std::nullopt, std::nullopt}},
        ChainRow{"UnservedClassIsReportedAndSkipped",
                 Dismiss,
                 Pass,
                 true,
                 {1, 0},
                 SmsOutcome::Dismissed,
                 {Step::Create, std::nullopt}},
        ChainRow{"EveryClientFails",
                 NotCreated,
                 InitializeFails,
                 false,
                 {0, 0},
                 SmsOutcome::NotHandled,
                 {Step::Create, Step::Initialize}},
        ChainRow{"FailedProcessMessageLeavesItToTheNext",
                 ProcessFails,
                 Dismiss,
                 false,
                 {1, 1},
                 SmsOutcome::Dismissed,
                 {Step::ProcessMessage, std::nullopt}},
        ChainRow{"OnlyFailuresIsNotHandled",
                 ProcessFails,
                 NotCreated,
                 false,
                 {1, 0},
                 SmsOutcome::NotHandled,
                 {Step::ProcessMessage, Step::Create}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transport, FailureResultsAreReported) {
    slots[0].behaviour = ProcessFails;
    EnableRuleClient(velmo::device::FormatGuid(UnservedClient));
    EnableRuleClient(velmo::device::FormatGuid(FirstClient));
    auto receipt = transport->Receive({u"5550100", u"", u"hello", std::nullopt});
    ASSERT_EQ(receipt.answers.size(), 2u);
    EXPECT_EQ(receipt.answers[0].clsid, velmo::device::FormatGuid(UnservedClient));
    EXPECT_EQ(receipt.answers[0].result, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(receipt.answers[1].result, static_cast<HRESULT>(0x8004010Fu));
}

TEST_F(Transport, DisabledAndMalformedEntriesAreNotRuleClients) {
    EnableRuleClient(velmo::device::FormatGuid(FirstClient), 0);
    EnableRuleClient(u"not a class identifier");
    EnableRuleClient(velmo::device::FormatGuid(SecondClient));
    auto clients = velmo::device::RegisteredRuleClients();
    EXPECT_EQ(clients,
              (std::vector<std::u16string>{u"not a class identifier", velmo::device::FormatGuid(SecondClient)}));
    auto receipt = transport->Receive({u"5550100", u"", u"hello", std::nullopt});
    EXPECT_EQ(slots[0].created, 0);
    EXPECT_EQ(slots[1].processed, 1);
    ASSERT_EQ(receipt.answers.size(), 2u);
    EXPECT_EQ(receipt.answers[0].failedStep, Step::Create);
}

// One client serves every message while it stays registered; a client that failed to start
// is tried afresh with the next message.
TEST_F(Transport, KeepsEachRuleClientWhileItIsRegistered) {
    const std::u16string first = velmo::device::FormatGuid(FirstClient);
    const std::u16string second = velmo::device::FormatGuid(SecondClient);
    EnableRuleClient(first);
    EnableRuleClient(second);
    slots[1].behaviour.initialize = E_FAIL;
    for (int i = 0; i < 3; ++i) transport->Receive({u"5550100", u"", u"hello", std::nullopt});
    EXPECT_EQ(slots[0].created, 1);
    EXPECT_EQ(slots[0].processed, 3);
    EXPECT_EQ(slots[0].alive, 1);
    EXPECT_EQ(slots[1].created, 3);
    EXPECT_EQ(slots[1].alive, 0);

    EnableRuleClient(first, 0);
    transport->Receive({u"5550100", u"", u"disabled", std::nullopt});
    EXPECT_EQ(slots[0].alive, 0) << "a client disabled meanwhile is released";
    EXPECT_EQ(slots[0].processed, 3);

    EnableRuleClient(first);
    transport->Receive({u"5550100", u"", u"enabled again", std::nullopt});
    EXPECT_EQ(slots[0].created, 2);
    EXPECT_EQ(slots[0].processed, 4);
    EXPECT_EQ(store.Count(u"Inbox"), 5u);
}

}  // namespace

namespace {

// The installed VelmoHandler.dll, reached through COM as on the handheld.
struct HandlerRow {
    const char* name;
    DWORD activeState;  // 99: no settings at all
    DWORD itemsState;
    SmsOutcome outcome;
    ULONG eventType;
    MRCHANDLED handled;
    SmsLocation location;
};

class TransportWithHandler : public ::testing::TestWithParam<HandlerRow> {
protected:
    static void SetDword(const char16_t* name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }

    velmo::test::TempDevice device;
};

TEST_P(TransportWithHandler, CarriesOutTheHandlersDecision) {
    const auto& row = GetParam();
    velmo::device::Install(std::filesystem::path(VELMO_BIN_DIR));
    device.InstallAppPath();  // as VelmoLight does at its first start, so dismissed messages have a home
    if (row.activeState != 99) {
        SetDword(u"ActiveState", row.activeState);
        SetDword(u"ItemsState", row.itemsState);
    }
    MessageStore store;
    SmsTransport transport(store);
    auto receipt = transport.Receive({u"+1 555 0100", u"Ada Marsh", u"North field done", std::nullopt});
    ASSERT_EQ(receipt.answers.size(), 1u);
    EXPECT_FALSE(receipt.answers[0].failedStep);
    EXPECT_EQ(receipt.answers[0].eventType, row.eventType);
    EXPECT_EQ(receipt.answers[0].handled, row.handled);
    EXPECT_EQ(receipt.outcome, row.outcome);
    EXPECT_EQ(receipt.location, row.location);
    EXPECT_EQ(store.Count(u"Inbox"), row.location == SmsLocation::Deleted ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, TransportWithHandler,
                         ::testing::Values(HandlerRow{"NoSettings", 99, 0, SmsOutcome::Accepted, 0, MRC_NOT_HANDLED,
                                                      SmsLocation::InboxUnread},
                                           HandlerRow{"AcceptAll", 0, 1, SmsOutcome::Accepted, 0, MRC_NOT_HANDLED,
                                                      SmsLocation::InboxUnread},
                                           HandlerRow{"SilentAcceptAll", 0, 2, SmsOutcome::SilentlyAccepted, 0x1C,
                                                      MRC_HANDLED_DONTCONTINUE, SmsLocation::ReadCopyInInbox},
                                           HandlerRow{"DismissAll", 0, 3, SmsOutcome::Dismissed, fnevObjectDeleted,
                                                      MRC_HANDLED_DONTCONTINUE, SmsLocation::Deleted},
                                           HandlerRow{"DisabledDismissAll", 2, 3, SmsOutcome::Accepted, 0,
                                                      MRC_NOT_HANDLED, SmsLocation::InboxUnread}),
                         [](const auto& info) { return std::string(info.param.name); });

// One message at a time across the device: while another receiver holds the transport,
// a message is not even stored, so no two rule clients ever run at once.
TEST_F(Transport, WaitsForTheDeviceWideTurnBeforeStoringAMessage) {
    EnableRuleClient(velmo::device::FormatGuid(FirstClient));
    velmo::device::LockFile other;
    ASSERT_TRUE(other.Lock(velmo::device::ToUtf16((velmo::device::DeviceRoot() / "transport.lock").string())));
    auto receipt = std::async(std::launch::async, [] {
        MessageStore ownStore;
        SmsTransport own(ownStore);
        return own.Receive({u"5550100", u"", u"waits", std::nullopt});
    });
    EXPECT_EQ(receipt.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(store.Count(u"Inbox"), 0u);
    EXPECT_EQ(slots[0].processed, 0);
    other.Unlock();
    EXPECT_EQ(receipt.get().answers.size(), 1u);
    EXPECT_EQ(slots[0].processed, 1);
    EXPECT_EQ(store.Count(u"Inbox"), 1u);
}

}  // namespace
