#include "handler/RuleClient.h"

#include <new>

#include "device/Interlocked.h"
#include "handler/ProcessMessage.h"

namespace velmo {

static_assert(sizeof(RuleClient) == 2 * sizeof(void*), "an interface table and a reference count, nothing else");

LONG volatile ServerLockCount = 0;

namespace {

// Factories and rule clients alive in this process, for CanUnloadNow.
LONG volatile LiveObjectCount = 0;

// QueryInterface of both classes: the object itself for IUnknown and its own interface.
template <typename Object>
HRESULT QueryOwnInterface(Object* object, REFIID ownInterface, REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_INVALIDARG;
    *ppvObject = nullptr;
    if (riid != IID_IUnknown && riid != ownInterface) return E_NOINTERFACE;
    *ppvObject = object;
    object->AddRef();
    return S_OK;
}

// Hands the new object out as riid and drops the creation reference, so that a refused
// interface destroys the object again.
template <typename Object>
HRESULT HandOut(Object* object, REFIID riid, void** ppvObject) {
    if (object == nullptr) return E_OUTOFMEMORY;
    HRESULT result = object->QueryInterface(riid, ppvObject);
    object->Release();
    return result;
}

}  // namespace

template <typename Interface, typename Object>
CountedObject<Interface, Object>::CountedObject() {
    InterlockedIncrement(&LiveObjectCount);
}

template <typename Interface, typename Object>
CountedObject<Interface, Object>::~CountedObject() {
    InterlockedDecrement(&LiveObjectCount);
}

template <typename Interface, typename Object>
Object* CountedObject<Interface, Object>::Create() {
    return new (std::nothrow) Object();
}

template <typename Interface, typename Object>
ULONG CountedObject<Interface, Object>::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

template <typename Interface, typename Object>
ULONG CountedObject<Interface, Object>::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete static_cast<Object*>(this);
    return static_cast<ULONG>(count);
}

template class CountedObject<IMailRuleClient, RuleClient>;
template class CountedObject<IClassFactory, RuleClientFactory>;

HRESULT RuleClient::QueryInterface(REFIID riid, void** ppvObject) {
    return QueryOwnInterface(this, IID_IMailRuleClient, riid, ppvObject);
}

HRESULT RuleClient::Initialize(IMsgStore* /*pMsgStore*/, MRCACCESS* pmaDesired) {
    if (pmaDesired == nullptr) return E_POINTER;
    *pmaDesired = MRC_ACCESS_WRITE;
    return S_OK;
}

HRESULT RuleClient::ProcessMessage(IMsgStore* pMsgStore, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder,
                                   LPENTRYID lpDestFolder, ULONG* pulEventType, MRCHANDLED* pHandled) {
    return velmo::ProcessMessage(pMsgStore, cbMsg, lpMsg, cbDestFolder, lpDestFolder, pulEventType, pHandled);
}

HRESULT RuleClientFactory::QueryInterface(REFIID riid, void** ppvObject) {
    return QueryOwnInterface(this, IID_IClassFactory, riid, ppvObject);
}

HRESULT RuleClientFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return HandOut(RuleClient::Create(), riid, ppvObject);
}

HRESULT RuleClientFactory::LockServer(BOOL fLock) {
    if (fLock) {
        InterlockedIncrement(&ServerLockCount);
    } else {
        InterlockedDecrement(&ServerLockCount);
    }
    return S_OK;
}

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (rclsid != CLSID_RuleClient) return CLASS_E_CLASSNOTAVAILABLE;
    return HandOut(RuleClientFactory::Create(), riid, ppv);
}

HRESULT CanUnloadNow() {
    LONG locks = __atomic_load_n(&ServerLockCount, __ATOMIC_SEQ_CST);
    LONG objects = __atomic_load_n(&LiveObjectCount, __ATOMIC_SEQ_CST);
    return locks == 0 && objects == 0 ? S_OK : S_FALSE;
}

}  // namespace velmo
