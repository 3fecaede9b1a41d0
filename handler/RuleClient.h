#pragma once
// The COM class through which the SMS transport reaches the handler, its class factory,
// and the answers of the library's DllGetClassObject and DllCanUnloadNow.

#include "device/MailRuleClient.h"

namespace velmo {

// {7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}
constexpr CLSID CLSID_RuleClient = {0x7E3A91C2, 0x5B04, 0x4D6F, {0xA8, 0xE1, 0x29, 0xC6, 0xB0, 0xF4, 0xD3, 0x57}};

// Raised and lowered only by LockServer; process-wide.
extern LONG volatile ServerLockCount;

// Holds nothing but its reference count: every message is handled on its own.
class RuleClient final : public IMailRuleClient {
public:
    static RuleClient* Create();  // count 1; null when memory runs out

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Initialize(IMsgStore* pMsgStore, MRCACCESS* pmaDesired) override;
    HRESULT ProcessMessage(IMsgStore* pMsgStore, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                           LPENTRYID lpDestFolder, ULONG* pulEventType, MRCHANDLED* pHandled) override;

private:
    RuleClient();
    ~RuleClient();

    LONG volatile refCount_ = 1;
};

class RuleClientFactory final : public IClassFactory {
public:
    static RuleClientFactory* Create();  // count 1; null when memory runs out

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    RuleClientFactory();
    ~RuleClientFactory();

    LONG volatile refCount_ = 1;
};

// DllGetClassObject: a new factory asked for riid, for CLSID_RuleClient only.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// DllCanUnloadNow: S_OK only with no server lock and no live factory or rule client, so
// that whoever asks never unloads code that an object still runs.
HRESULT CanUnloadNow();

}  // namespace velmo
