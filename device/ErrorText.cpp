#include "device/ErrorText.h"

#include <cstdio>

#include "device/Mapi.h"

namespace velmo::device {

namespace {

const char* Win32Meaning(LONG code) {
    switch (code) {
        case ERROR_SUCCESS: return "success";
        case ERROR_FILE_NOT_FOUND: return "not found";
        case ERROR_ACCESS_DENIED: return "access denied";
        case ERROR_INVALID_HANDLE: return "the key handle is not valid";
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return "out of memory";
        case ERROR_WRITE_FAULT: return "the device cannot write";
        case ERROR_READ_FAULT: return "the device cannot read";
        case ERROR_DISK_FULL: return "no space left on the device";
        case ERROR_INVALID_PARAMETER: return "a parameter is not valid";
        case ERROR_BUSY: return "the registry database is busy";
        case ERROR_MORE_DATA: return "the buffer is too small";
        case ERROR_NO_MORE_ITEMS: return "no more items";
        case ERROR_BADDB: return "the registry database is damaged";
        case ERROR_BADKEY: return "not a valid key path";
        case ERROR_CANTOPEN: return "the registry database cannot be opened";
        case ERROR_CANTREAD: return "the registry database cannot be read";
        case ERROR_CANTWRITE: return "the registry database cannot be written";
        case ERROR_KEY_DELETED: return "the key was deleted";
        default: return nullptr;
    }
}

const char* HresultMeaning(HRESULT result) {
    switch (result) {
        case S_OK: return "success";
        case S_FALSE: return "success, answered false";
        case E_NOTIMPL: return "not implemented";
        case E_NOINTERFACE: return "the interface is not supported";
        case E_POINTER: return "a null pointer was passed";
        case E_FAIL: return "unspecified failure";
        case E_UNEXPECTED: return "unexpected failure";
        case E_OUTOFMEMORY: return "out of memory";
        case E_INVALIDARG: return "an argument is not valid";
        case CLASS_E_NOAGGREGATION: return "the class cannot be aggregated";
        case CLASS_E_CLASSNOTAVAILABLE: return "the library does not offer the class";
        case REGDB_E_CLASSNOTREG: return "the class is not registered";
        case CO_E_NOTINITIALIZED: return "COM is not initialized";
        case CO_E_DLLNOTFOUND: return "the in-process server library cannot be loaded";
        case CO_E_ERRORINDLL: return "the in-process server library is faulty";
        case MAPI_E_NO_SUPPORT: return "the message store does not support the call";
        case MAPI_E_INVALID_ENTRYID: return "not an entry identifier of the message store";
        case MAPI_E_NOT_FOUND: return "the object was not found";
        case MAPI_E_COMPUTED: return "the property is computed and cannot be changed";
        case MAPI_E_INVALID_TYPE: return "the property type is not valid";
        case MAPI_W_ERRORS_RETURNED: return "some properties could not be read";
        case MAPI_W_PARTIAL_COMPLETION: return "the call was completed in part";
        default: return nullptr;
    }
}

}  // namespace

std::string Win32ErrorText(LONG code) {
    const char* meaning = Win32Meaning(code);
    std::string number = std::to_string(code);
    return meaning != nullptr ? std::string(meaning) + " (" + number + ")" : "unknown system error " + number;
}

std::string HresultText(HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    // A Win32 code wrapped as an HRESULT (facility 7) means what the code means.
    auto bits = static_cast<std::uint32_t>(result);
    if (HresultMeaning(result) == nullptr && (bits & 0xFFFF0000u) == 0x80070000u) {
        const char* meaning = Win32Meaning(static_cast<LONG>(bits & 0xFFFFu));
        if (meaning != nullptr) return std::string(code) + ", " + meaning;
    }
    const char* meaning = HresultMeaning(result);
    return std::string(code) + ", " + (meaning != nullptr ? meaning : (FAILED(result) ? "unknown failure" : "success"));
}

}  // namespace velmo::device
