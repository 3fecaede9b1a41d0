#pragma once
// The COM class through which the SMS transport reaches the handler, its class factory,
// and the answers of the library's DllGetClassObject and DllCanUnloadNow.

#include "device/MailRuleClient.h"

namespace velmo {

// {7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}
constexpr CLSID CLSID_RuleClient = {0x7E3A91C2, 0x5B04, 0x4D6F, {0xA8, 0xE1, 0x29, 0xC6, 0xB0, 0xF4, 0xD3, 0x57}};

// Raised and lowered only by LockServer; process-wide.
extern LONG volatile ServerLockCount;

// What both of the library's classes are: an interface table and a reference count, 1 at
// creation, changed atomically; the object ends with its last Release.
template <typename Interface, typename Object>
class CountedObject : public Interface {
public:
    static Object* Create();  // null when memory runs out

    ULONG AddRef() override;
    ULONG Release() override;

protected:
    CountedObject();
    ~CountedObject();

private:
    LONG volatile refCount_ = 1;
};

// Holds nothing but its reference count: every message is handled on its own.
class RuleClient final : public CountedObject<IMailRuleClient, RuleClient> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT Initialize(IMsgStore* pMsgStore, MRCACCESS* pmaDesired) override;
    HRESULT ProcessMessage(IMsgStore* pMsgStore, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                           LPENTRYID lpDestFolder, ULONG* pulEventType, MRCHANDLED* pHandled) override;

private:
    friend CountedObject;
    RuleClient() = default;
    ~RuleClient() = default;
};

class RuleClientFactory final : public CountedObject<IClassFactory, RuleClientFactory> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    friend CountedObject;
    RuleClientFactory() = default;
    ~RuleClientFactory() = default;
};

// DllGetClassObject: a new factory asked for riid, for CLSID_RuleClient only.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// DllCanUnloadNow: S_OK only with no server lock and no live factory or rule client, so
// that whoever asks never unloads code that an object still runs.
HRESULT CanUnloadNow();

}  // namespace velmo
