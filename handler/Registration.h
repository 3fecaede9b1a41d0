#pragma once
// The registry entries that make the handler a rule client of the SMS transport: the COM
// class with its in-process server, and the class's value in the transport's rules key.

#include "device/WinTypes.h"

namespace velmo {

inline constexpr const char16_t* RuleClientClsidText = u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}";
inline constexpr const char16_t* RuleClientClassKeyPath = u"\\CLSID\\{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}";
inline constexpr const char16_t* InprocServerKeyName = u"InprocServer32";
// Bare: the platform looks servers up in its own library directory.
inline constexpr const char16_t* ServerFileName = u"VelmoHandler.dll";
inline constexpr const char16_t* SmsRulesKeyPath = u"\\Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules";

// DllRegisterServer: S_OK, or E_FAIL at the first registry step that fails.
HRESULT RegisterServer();
// DllUnregisterServer: S_OK, or E_FAIL when the rules key cannot be opened.
HRESULT UnregisterServer();

}  // namespace velmo
