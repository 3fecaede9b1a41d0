#pragma once
// The handheld's message store as the rule handler calls it: property tags and values,
// the property interfaces of the store, its folders and messages, and the MAPI memory
// functions. The plain C++ side of the store is in MessageStore.h.

#include "device/Com.h"
#include "device/WinTypes.h"

using SCODE = LONG;

// A property tag: the property's identifier in the high 16 bits, its type in the low 16.
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return (id << 16) | type; }
constexpr ULONG PROP_TYPE(ULONG tag) { return tag & 0xFFFFu; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }

constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_NULL = 0x0001;
constexpr ULONG PT_SHORT = 0x0002;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_UNICODE = 0x001F;
constexpr ULONG PT_SYSTIME = 0x0040;
constexpr ULONG PT_BINARY = 0x0102;

constexpr ULONG PR_MESSAGE_CLASS_W = 0x001A001F;
constexpr ULONG PR_SUBJECT_W = 0x0037001F;
constexpr ULONG PR_SENDER_NAME_W = 0x0C1A001F;
constexpr ULONG PR_RECIPIENT_TYPE = 0x0C150003;
constexpr ULONG PR_SENDER_EMAIL_ADDRESS_W = 0x0C1F001F;
constexpr ULONG PR_MESSAGE_DELIVERY_TIME = 0x0E060040;
constexpr ULONG PR_MESSAGE_FLAGS = 0x0E070003;
constexpr ULONG PR_MESSAGE_SIZE = 0x0E080003;
constexpr ULONG PR_ENTRYID = 0x0FFF0102;
constexpr ULONG PR_DISPLAY_NAME_W = 0x3001001F;
constexpr ULONG PR_ADDRTYPE_W = 0x3002001F;
constexpr ULONG PR_LAST_MODIFICATION_TIME = 0x30080040;

constexpr ULONG MSGFLAG_READ = 0x00000001;
constexpr ULONG MAPI_UNICODE = 0x80000000u;

// Object types answered by IMsgStore::OpenEntry.
constexpr ULONG MAPI_STORE = 1;
constexpr ULONG MAPI_FOLDER = 3;
constexpr ULONG MAPI_MESSAGE = 5;

constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
constexpr HRESULT MAPI_E_NO_SUPPORT = static_cast<HRESULT>(0x80040102u);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = static_cast<HRESULT>(0x80040107u);
constexpr HRESULT MAPI_E_NOT_FOUND = static_cast<HRESULT>(0x8004010Fu);
constexpr HRESULT MAPI_E_COMPUTED = static_cast<HRESULT>(0x8004011Au);
constexpr HRESULT MAPI_E_INVALID_TYPE = static_cast<HRESULT>(0x80040302u);
constexpr HRESULT MAPI_W_ERRORS_RETURNED = 0x00040380;
constexpr HRESULT MAPI_W_PARTIAL_COMPLETION = 0x00040680;

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};
using LPSBinary = SBinary*;

struct SBinaryArray {
    ULONG cValues;
    SBinary* lpbin;
};
using ENTRYLIST = SBinaryArray;
using LPENTRYLIST = ENTRYLIST*;

struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    union PV {
        SHORT i;           // PT_SHORT
        LONG l;            // PT_LONG
        ULONG ul;          // PT_LONG, unsigned
        unsigned short b;  // PT_BOOLEAN
        FILETIME ft;       // PT_SYSTIME
        char* lpszA;       // PT_STRING8
        SBinary bin;       // PT_BINARY
        WCHAR* lpszW;      // PT_UNICODE
        SCODE err;         // PT_ERROR
        LONG x;            // PT_NULL, PT_UNSPECIFIED
    } Value;
};
using LPSPropValue = SPropValue*;

// A counted tag array; the tags follow cValues (declare a fixed one with SizedSPropTagArray).
struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

// A tag array of N tags laid out like SPropTagArray, passed wherever one is asked for:
//   SizedSPropTagArray<2> tags{2, {PR_SUBJECT_W, PR_MESSAGE_FLAGS}};
template <ULONG N>
struct SizedSPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[N];
    operator LPSPropTagArray() { return reinterpret_cast<LPSPropTagArray>(this); }
};

struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};

struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[1];
};
using LPSPropProblemArray = SPropProblemArray*;

inline constexpr IID IID_IMAPIProp = {0x00020303, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMsgStore = {0x00020306, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMessage = {0x00020307, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMAPIFolder = {0x0002030C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IMAPIProp : public IUnknown {
public:
    // Reads the tagged properties (all of them when tags is null) into one MAPI buffer that
    // the caller frees with MAPIFreeBuffer. A missing property comes back as PT_ERROR with
    // MAPI_E_NOT_FOUND and the call answers MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                             LPSPropValue* lppPropArray) = 0;
    // Stores the values at once (there is no separate save). PT_ERROR and PT_NULL values are
    // skipped; values that cannot be stored are listed in the problem array when one is asked for.
    virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) = 0;

protected:
    ~IMAPIProp() = default;
};

class IMessage : public IMAPIProp {
protected:
    ~IMessage() = default;
};

class IMAPIFolder : public IMAPIProp {
public:
    virtual HRESULT CreateMessage(const IID* lpInterface, ULONG ulFlags, IMessage** lppMessage) = 0;
    // Removes the listed messages of this folder; MAPI_W_PARTIAL_COMPLETION when any of
    // them is not a message of this folder.
    virtual HRESULT DeleteMessages(LPENTRYLIST lpMsgList, ULONG ulUIParam, void* lpProgress, ULONG ulFlags) = 0;

protected:
    ~IMAPIFolder() = default;
};

class IMsgStore : public IUnknown {
public:
    // Opens a folder or message by its entry identifier: MAPI_E_INVALID_ENTRYID for bytes that
    // are no identifier of this store, MAPI_E_NOT_FOUND for one whose object is gone.
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, const IID* lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, IUnknown** lppUnk) = 0;

protected:
    ~IMsgStore() = default;
};

extern "C" {
// One allocation chain: memory taken with MAPIAllocateMore for an object is freed with it.
SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
ULONG MAPIFreeBuffer(LPVOID lpBuffer);
}
