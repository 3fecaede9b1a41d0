#include "device/Poom.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "device/ContactSnapshotCache.h"
#include "device/ContactStore.h"
#include "device/Sqlite.h"
#include "device/Text.h"

namespace {

using velmo::device::ContactField;
using velmo::device::ContactSnapshot;
using velmo::device::ContactSnapshotCache;

// A BSTR is preceded by its length in bytes, as on the platform.
using BstrLength = std::uint32_t;

// Reference counting and QueryInterface for an object that implements one interface.
template <class Derived, class Interface>
class ComObject : public Interface {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Derived::Iid) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

private:
    std::atomic<ULONG> references_{1};
};

// Creates a Derived (reference count 1) and hands it out as *out.
template <class Derived, class Interface, class... Args>
HRESULT Make(Interface** out, Args&&... args) {
    auto* object = new (std::nothrow) Derived(std::forward<Args>(args)...);
    if (object == nullptr) return E_OUTOFMEMORY;
    *out = object;
    return S_OK;
}

class Contact final : public ComObject<Contact, IContact> {
public:
    static constexpr const IID& Iid = IID_IContact;

    Contact(std::shared_ptr<const ContactSnapshot> snapshot, std::size_t row)
        : snapshot_(std::move(snapshot)), row_(row) {}

    HRESULT get_Oid(LONG* poid) override {
        if (poid == nullptr) return E_POINTER;
        *poid = snapshot_->Oid(row_);
        return S_OK;
    }
    HRESULT get_FirstName(BSTR* pbstr) override { return Read(ContactField::FirstName, pbstr); }
    HRESULT get_LastName(BSTR* pbstr) override { return Read(ContactField::LastName, pbstr); }
    HRESULT get_FileAs(BSTR* pbstr) override { return Read(ContactField::FileAs, pbstr); }
    HRESULT get_CompanyName(BSTR* pbstr) override { return Read(ContactField::CompanyName, pbstr); }
    HRESULT get_BusinessTelephoneNumber(BSTR* pbstr) override {
        return Read(ContactField::BusinessTelephoneNumber, pbstr);
    }
    HRESULT get_Business2TelephoneNumber(BSTR* pbstr) override {
        return Read(ContactField::Business2TelephoneNumber, pbstr);
    }
    HRESULT get_HomeTelephoneNumber(BSTR* pbstr) override { return Read(ContactField::HomeTelephoneNumber, pbstr); }
    HRESULT get_Home2TelephoneNumber(BSTR* pbstr) override { return Read(ContactField::Home2TelephoneNumber, pbstr); }
    HRESULT get_MobileTelephoneNumber(BSTR* pbstr) override { return Read(ContactField::MobileTelephoneNumber, pbstr); }
    HRESULT get_CarTelephoneNumber(BSTR* pbstr) override { return Read(ContactField::CarTelephoneNumber, pbstr); }
    HRESULT get_RadioTelephoneNumber(BSTR* pbstr) override { return Read(ContactField::RadioTelephoneNumber, pbstr); }
    HRESULT get_BusinessFaxNumber(BSTR* pbstr) override { return Read(ContactField::BusinessFaxNumber, pbstr); }
    HRESULT get_HomeFaxNumber(BSTR* pbstr) override { return Read(ContactField::HomeFaxNumber, pbstr); }
    HRESULT get_PagerNumber(BSTR* pbstr) override { return Read(ContactField::PagerNumber, pbstr); }
    HRESULT get_Email1Address(BSTR* pbstr) override { return Read(ContactField::Email1Address, pbstr); }
    HRESULT get_Email2Address(BSTR* pbstr) override { return Read(ContactField::Email2Address, pbstr); }
    HRESULT get_Email3Address(BSTR* pbstr) override { return Read(ContactField::Email3Address, pbstr); }

private:
    HRESULT Read(ContactField field, BSTR* pbstr) const {
        if (pbstr == nullptr) return E_POINTER;
        auto text = snapshot_->Field(row_, field);
        *pbstr = nullptr;
        if (text.empty()) return S_OK;
        *pbstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *pbstr != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    std::shared_ptr<const ContactSnapshot> snapshot_;
    std::size_t row_;
};

class ItemCollection final : public ComObject<ItemCollection, IPOutlookItemCollection> {
public:
    static constexpr const IID& Iid = IID_IPOutlookItemCollection;

    explicit ItemCollection(std::shared_ptr<const ContactSnapshot> snapshot) : snapshot_(std::move(snapshot)) {}

    HRESULT get_Count(int* pnCount) override {
        if (pnCount == nullptr) return E_POINTER;
        *pnCount = static_cast<int>(snapshot_->Size());
        return S_OK;
    }
    HRESULT Item(int iIndex, IDispatch** ppolItem) override {
        if (ppolItem == nullptr) return E_POINTER;
        *ppolItem = nullptr;
        if (iIndex < 1 || static_cast<std::size_t>(iIndex) > snapshot_->Size()) return E_INVALIDARG;
        IContact* contact = nullptr;
        HRESULT hr = Make<Contact>(&contact, snapshot_, static_cast<std::size_t>(iIndex - 1));
        *ppolItem = contact;
        return hr;
    }

private:
    std::shared_ptr<const ContactSnapshot> snapshot_;
};

class Application final : public ComObject<Application, IPOutlookApp> {
public:
    static constexpr const IID& Iid = IID_IPOutlookApp;

    HRESULT Logon(LONG /*hwnd*/) override {
        if (loggedOn_) return S_OK;
        try {
            // Reading never creates the book: a missing one is not an empty one.
            ContactSnapshotCache::Instance().Connect();
        } catch (const velmo::device::sqlite::NoSpaceError&) {
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        } catch (const std::exception&) {
            return E_FAIL;
        }
        loggedOn_ = true;
        return S_OK;
    }
    HRESULT Logoff() override {
        loggedOn_ = false;
        return S_OK;
    }
    HRESULT GetDefaultFolder(int olFolder, IFolder** ppIFolder) override;

    // The snapshot behind a new item collection; E_UNEXPECTED when logged off.
    HRESULT LoadContacts(std::shared_ptr<const ContactSnapshot>& snapshot) const {
        if (!loggedOn_) return E_UNEXPECTED;
        try {
            snapshot = ContactSnapshotCache::Instance().Current();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const velmo::device::sqlite::NoSpaceError&) {
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        } catch (const std::exception&) {
            return E_FAIL;
        }
        return S_OK;
    }
    bool LoggedOn() const { return loggedOn_; }

private:
    bool loggedOn_ = false;
};

class ContactsFolder final : public ComObject<ContactsFolder, IFolder> {
public:
    static constexpr const IID& Iid = IID_IFolder;

    explicit ContactsFolder(Application* application) : application_(application) { application_->AddRef(); }
    ~ContactsFolder() { application_->Release(); }
    ContactsFolder(const ContactsFolder&) = delete;
    ContactsFolder& operator=(const ContactsFolder&) = delete;

    HRESULT get_Items(IPOutlookItemCollection** ppolItems) override {
        if (ppolItems == nullptr) return E_POINTER;
        *ppolItems = nullptr;
        std::shared_ptr<const ContactSnapshot> snapshot;
        HRESULT hr = application_->LoadContacts(snapshot);
        if (FAILED(hr)) return hr;
        return Make<ItemCollection>(ppolItems, std::move(snapshot));
    }

private:
    Application* application_;
};

HRESULT Application::GetDefaultFolder(int olFolder, IFolder** ppIFolder) {
    if (ppIFolder == nullptr) return E_POINTER;
    *ppIFolder = nullptr;
    if (!LoggedOn()) return E_UNEXPECTED;
    if (olFolder != olFolderContacts) return E_INVALIDARG;
    return Make<ContactsFolder>(ppIFolder, this);
}

}  // namespace

extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(BstrLength) + (length + 1u) * sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    BstrLength bytes = static_cast<BstrLength>(length * sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    auto* chars = reinterpret_cast<BSTR>(block + sizeof(BstrLength));
    if (text != nullptr) std::memcpy(chars, text, length * sizeof(OLECHAR));
    chars[length] = u'\0';
    return chars;
}

extern "C" BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(velmo::device::Length(text)));
}

extern "C" void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(BstrLength));
}

extern "C" UINT SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    BstrLength bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - sizeof(BstrLength), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

namespace velmo::device {

HRESULT CreateAddressBookApplication(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IPOutlookApp* application = nullptr;
    HRESULT hr = Make<Application>(&application);
    if (FAILED(hr)) return hr;
    hr = application->QueryInterface(riid, object);
    application->Release();
    return hr;
}

}  // namespace velmo::device
