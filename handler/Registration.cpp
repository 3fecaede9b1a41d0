#include "handler/Registration.h"

#include "device/Registry.h"
#include "device/Text.h"

namespace velmo {

namespace {

LONG CreateKey(HKEY parent, const char16_t* path, HKEY& key) {
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
}

}  // namespace

HRESULT RegisterServer() {
    HKEY classKey = nullptr;
    if (CreateKey(HKEY_CLASSES_ROOT, RuleClientClassKeyPath, classKey) != ERROR_SUCCESS) return E_FAIL;
    HKEY serverKey = nullptr;
    if (CreateKey(classKey, InprocServerKeyName, serverKey) != ERROR_SUCCESS) {
        RegCloseKey(classKey);
        return E_FAIL;
    }
    auto size = static_cast<DWORD>((device::Length(ServerFileName) + 1) * sizeof(char16_t));
    LONG written = RegSetValueExW(serverKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(ServerFileName), size);
    RegCloseKey(serverKey);
    RegCloseKey(classKey);
    if (written != ERROR_SUCCESS) return E_FAIL;

    HKEY rulesKey = nullptr;
    if (CreateKey(HKEY_LOCAL_MACHINE, SmsRulesKeyPath, rulesKey) != ERROR_SUCCESS) return E_FAIL;
    DWORD enabled = 1;
    LONG entered = RegSetValueExW(rulesKey, RuleClientClsidText, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled),
                                  sizeof enabled);
    RegCloseKey(rulesKey);
    return entered == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT UnregisterServer() {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, RuleClientClassKeyPath);  // absent already is as good
    HKEY rulesKey = nullptr;
    if (CreateKey(HKEY_LOCAL_MACHINE, SmsRulesKeyPath, rulesKey) != ERROR_SUCCESS) return E_FAIL;
    RegDeleteValueW(rulesKey, RuleClientClsidText);
    RegCloseKey(rulesKey);
    return S_OK;
}

}  // namespace velmo
