#pragma once
// The handheld's address book, reached through COM: the application object (CLSID_Application)
// logs on, gives the contacts folder, whose item collection holds every contact (1-based, in
// order of entry). The collection is read from contacts.db in one query when get_Items is
// called and names the same contacts at the same indexes for as long as it lives.
//
// Strings are BSTRs that the caller frees with SysFreeString. An empty field is answered
// with S_OK and a null BSTR, never with an empty string; a null out-pointer gives E_POINTER.
// Automation (IDispatch's own slots) is not offered: nothing calls it.

#include "device/Com.h"

using OLECHAR = WCHAR;
using BSTR = OLECHAR*;

extern "C" {
// A copy of text; null for null text or when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);  // null is allowed
UINT SysStringLen(BSTR text);   // 0 for null
}

constexpr CLSID CLSID_Application = {0x05058F23, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
constexpr IID IID_IPOutlookApp = {0x05058F22, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// The device's own identifiers for the interfaces that are only reached from the application object.
constexpr IID IID_IFolder = {0x05058F30, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
constexpr IID IID_IPOutlookItemCollection = {
    0x05058F31, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
constexpr IID IID_IContact = {0x05058F32, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};

constexpr int olFolderContacts = 10;

class IDispatch : public IUnknown {
protected:
    ~IDispatch() = default;
};

class IFolder;
class IPOutlookItemCollection;

class IPOutlookApp : public IDispatch {
public:
    virtual HRESULT Logon(LONG hwnd) = 0;
    virtual HRESULT Logoff() = 0;
    // E_UNEXPECTED before Logon; E_INVALIDARG for a folder other than olFolderContacts.
    virtual HRESULT GetDefaultFolder(int olFolder, IFolder** ppIFolder) = 0;

protected:
    ~IPOutlookApp() = default;
};

class IFolder : public IDispatch {
public:
    // E_UNEXPECTED after the application has logged off; E_FAIL when contacts.db cannot be read.
    virtual HRESULT get_Items(IPOutlookItemCollection** ppolItems) = 0;

protected:
    ~IFolder() = default;
};

class IPOutlookItemCollection : public IDispatch {
public:
    virtual HRESULT get_Count(int* pnCount) = 0;
    // The contact at index 1..count, as an IContact; E_INVALIDARG for any other index.
    virtual HRESULT Item(int iIndex, IDispatch** ppolItem) = 0;

protected:
    ~IPOutlookItemCollection() = default;
};

class IContact : public IDispatch {
public:
    virtual HRESULT get_Oid(LONG* poid) = 0;
    virtual HRESULT get_FirstName(BSTR* pbstr) = 0;
    virtual HRESULT get_LastName(BSTR* pbstr) = 0;
    virtual HRESULT get_FileAs(BSTR* pbstr) = 0;
    virtual HRESULT get_CompanyName(BSTR* pbstr) = 0;
    virtual HRESULT get_BusinessTelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_Business2TelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_HomeTelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_Home2TelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_MobileTelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_CarTelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_RadioTelephoneNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_BusinessFaxNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_HomeFaxNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_PagerNumber(BSTR* pbstr) = 0;
    virtual HRESULT get_Email1Address(BSTR* pbstr) = 0;
    virtual HRESULT get_Email2Address(BSTR* pbstr) = 0;
    virtual HRESULT get_Email3Address(BSTR* pbstr) = 0;

protected:
    ~IContact() = default;
};

namespace velmo::device {

// The built-in class behind CLSID_Application (see Com.h).
HRESULT CreateAddressBookApplication(IUnknown* outer, REFIID riid, void** object);

}  // namespace velmo::device
