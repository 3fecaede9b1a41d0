#pragma once
// A message store that passes every call to the device's real store, except the failures
// a test asks for: the real store cannot be made to fail a SetProps, a CreateMessage or a
// DeleteMessages on demand. It also counts how often the handler opened an entry.

#include <atomic>
#include <vector>

#include "device/Mapi.h"

namespace velmo::test {

struct StoreFaults {
    int opens = 0;                    // OpenEntry calls seen
    HRESULT createMessage = S_OK;     // a failure here is answered instead of creating the message
    int failingSetProps = 0;          // the n-th SetProps on a created message fails (1-based; 0: none)
    std::vector<BYTE> failingDelete;  // DeleteMessages of a list holding this entry fails, deleting nothing
    int setPropsOnCreated = 0;        // SetProps calls seen on created messages
};

namespace detail {

// Counts references; the object ends itself with its last Release and releases the real one.
template <typename Interface>
class Wrapper : public Interface {
public:
    Wrapper(Interface* real, StoreFaults& faults) : real_(real), faults_(faults) {}
    virtual ~Wrapper() { real_->Release(); }
    Wrapper(const Wrapper&) = delete;
    Wrapper& operator=(const Wrapper&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        void* real = nullptr;
        if (FAILED(real_->QueryInterface(riid, &real))) return E_NOINTERFACE;
        static_cast<IUnknown*>(real)->Release();
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    Interface* real_;
    StoreFaults& faults_;

private:
    std::atomic<ULONG> references_{1};
};

class Message final : public Wrapper<IMessage> {
public:
    Message(IMessage* real, StoreFaults& faults, bool created) : Wrapper(real, faults), created_(created) {}

    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
        return real_->GetProps(tags, flags, count, values);
    }
    HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        if (created_ && ++faults_.setPropsOnCreated == faults_.failingSetProps) return MAPI_E_CALL_FAILED;
        return real_->SetProps(count, values, problems);
    }

private:
    bool created_;
};

class Folder final : public Wrapper<IMAPIFolder> {
public:
    using Wrapper::Wrapper;

    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
        return real_->GetProps(tags, flags, count, values);
    }
    HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        return real_->SetProps(count, values, problems);
    }
    HRESULT CreateMessage(const IID* iid, ULONG flags, IMessage** message) override {
        if (FAILED(faults_.createMessage)) return faults_.createMessage;
        IMessage* real = nullptr;
        HRESULT hr = real_->CreateMessage(iid, flags, &real);
        *message = SUCCEEDED(hr) ? new Message(real, faults_, true) : nullptr;
        return hr;
    }
    HRESULT DeleteMessages(LPENTRYLIST list, ULONG ui, void* progress, ULONG flags) override {
        for (ULONG i = 0; i < list->cValues; ++i) {
            const SBinary& entry = list->lpbin[i];
            if (std::vector<BYTE>(entry.lpb, entry.lpb + entry.cb) == faults_.failingDelete) return MAPI_E_CALL_FAILED;
        }
        return real_->DeleteMessages(list, ui, progress, flags);
    }
};

}  // namespace detail

// Lives on the test's stack; the handler's AddRef and Release of the store change nothing.
class StoreDouble final : public IMsgStore {
public:
    StoreDouble(IMsgStore* real, StoreFaults& faults) : real_(real), faults_(faults) {}

    HRESULT QueryInterface(REFIID riid, void** object) override { return real_->QueryInterface(riid, object); }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }

    HRESULT OpenEntry(ULONG size, LPENTRYID id, const IID* iid, ULONG flags, ULONG* type, IUnknown** object) override {
        ++faults_.opens;
        IUnknown* real = nullptr;
        HRESULT hr = real_->OpenEntry(size, id, iid, flags, type, &real);
        *object = nullptr;
        if (FAILED(hr)) return hr;
        // Opened without an interface, the object is whatever the entry names.
        void* folder = nullptr;
        if (SUCCEEDED(real->QueryInterface(IID_IMAPIFolder, &folder))) {
            real->Release();
            *object = static_cast<IMAPIFolder*>(new detail::Folder(static_cast<IMAPIFolder*>(folder), faults_));
        } else {
            *object = static_cast<IMessage*>(new detail::Message(static_cast<IMessage*>(real), faults_, false));
        }
        return S_OK;
    }

private:
    IMsgStore* real_;
    StoreFaults& faults_;
};

}  // namespace velmo::test
