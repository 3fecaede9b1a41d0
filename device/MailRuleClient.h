#pragma once
// The SMS transport's rule-client contract: the interface a rule client implements and
// the values it exchanges with the transport.

#include "device/Com.h"
#include "device/Mapi.h"

using MRCACCESS = ULONG;
constexpr MRCACCESS MRC_ACCESS_NONE = 0;
constexpr MRCACCESS MRC_ACCESS_READ = 1;
constexpr MRCACCESS MRC_ACCESS_WRITE = 2;

using MRCHANDLED = ULONG;
constexpr MRCHANDLED MRC_NOT_HANDLED = 0;
constexpr MRCHANDLED MRC_HANDLED_CONTINUE = 1;
constexpr MRCHANDLED MRC_HANDLED_DONTCONTINUE = 2;

// MAPI event types a rule client reports for what it did.
constexpr ULONG fnevObjectCreated = 0x00000004;
constexpr ULONG fnevObjectDeleted = 0x00000008;
constexpr ULONG fnevObjectModified = 0x00000010;

// {96D2552D-B83B-4B48-8E89-DCC26512DBA4}
constexpr IID IID_IMailRuleClient = {0x96D2552D, 0xB83B, 0x4B48, {0x8E, 0x89, 0xDC, 0xC2, 0x65, 0x12, 0xDB, 0xA4}};

// Table slots after IUnknown's three: Initialize, ProcessMessage.
class IMailRuleClient : public IUnknown {
public:
    virtual HRESULT Initialize(IMsgStore* pMsgStore, MRCACCESS* pmaDesired) = 0;
    virtual HRESULT ProcessMessage(IMsgStore* pMsgStore, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                                   LPENTRYID lpDestFolder, ULONG* pulEventType, MRCHANDLED* pHandled) = 0;

protected:
    ~IMailRuleClient() = default;
};
