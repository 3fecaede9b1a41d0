#include "common/ContactsConnection.h"

#include "common/PhoneDigits.h"

namespace velmo {

namespace {

// The telephone fields compared with a sender, in the order they are read.
using TelephoneGetter = HRESULT (IContact::*)(BSTR*);
constexpr TelephoneGetter ComparedTelephones[] = {
    &IContact::get_BusinessTelephoneNumber, &IContact::get_Business2TelephoneNumber, &IContact::get_HomeTelephoneNumber,
    &IContact::get_Home2TelephoneNumber,    &IContact::get_MobileTelephoneNumber,    &IContact::get_CarTelephoneNumber,
};

// digits is the walk's one buffer for each number's digits.
bool HasMatchingTelephone(IContact* contact, std::u16string_view senderDigits, std::u16string& digits) {
    for (auto getter : ComparedTelephones) {
        BSTR number = nullptr;
        if (FAILED((contact->*getter)(&number)) || number == nullptr) continue;
        const bool matches = NumberMatches(senderDigits, std::u16string_view(number), digits);
        SysFreeString(number);
        if (matches) return true;
    }
    return false;
}

}  // namespace

std::vector<std::u16string> CallerIdNumbers(IContact* contact) {
    std::vector<std::u16string> numbers;
    for (auto getter : ComparedTelephones) {
        BSTR number = nullptr;
        if (FAILED((contact->*getter)(&number)) || number == nullptr) continue;
        if (number[0] != u'\0') numbers.emplace_back(number);
        SysFreeString(number);
    }
    return numbers;
}

bool ContactsConnection::Open() {
    Close();
    failure_ = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(failure_)) return false;
    // Each step keeps its result, so that the first that fails is the one told.
    bool opened = SUCCEEDED(failure_ = CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER,
                                                        IID_IPOutlookApp, reinterpret_cast<void**>(&application_))) &&
                  SUCCEEDED(failure_ = application_->Logon(0)) &&
                  SUCCEEDED(failure_ = application_->GetDefaultFolder(olFolderContacts, &folder_)) &&
                  SUCCEEDED(failure_ = folder_->get_Items(&items_));
    if (opened) failure_ = S_OK;
    if (!opened) Close();
    return opened;
}

void ContactsConnection::Close() {
    if (items_ != nullptr) items_->Release();
    if (folder_ != nullptr) folder_->Release();
    if (application_ != nullptr) {
        application_->Logoff();
        application_->Release();
        CoUninitialize();
    }
    items_ = nullptr;
    folder_ = nullptr;
    application_ = nullptr;
}

bool ContactsConnection::Refresh() {
    IPOutlookItemCollection* fresh = nullptr;
    if (folder_ == nullptr || FAILED(folder_->get_Items(&fresh)) || fresh == nullptr) return false;
    items_->Release();
    items_ = fresh;
    return true;
}

bool ContactsConnection::FindContact(std::u16string_view senderDigits, std::int32_t& key) const {
    int count = Count();
    std::u16string digits;
    for (int index = 1; index <= count; ++index) {
        IContact* contact = Item(index);
        if (contact == nullptr) continue;
        if (HasMatchingTelephone(contact, senderDigits, digits)) {
            LONG oid = 0;
            bool known = SUCCEEDED(contact->get_Oid(&oid));
            contact->Release();
            if (known) key = oid;
            return known;
        }
        contact->Release();
    }
    return false;
}

int ContactsConnection::Count() const {
    int count = 0;
    if (items_ == nullptr || FAILED(items_->get_Count(&count))) return 0;
    return count;
}

IContact* ContactsConnection::Item(int index) const {
    IDispatch* item = nullptr;
    if (items_ == nullptr || FAILED(items_->Item(index, &item))) return nullptr;
    return static_cast<IContact*>(item);
}

std::vector<std::int32_t> ContactsConnection::Keys() const {
    int count = Count();
    std::vector<std::int32_t> keys;
    keys.reserve(static_cast<std::size_t>(count));
    for (int index = 1; index <= count; ++index) {
        LONG oid = 0;
        if (IContact* contact = Item(index)) {
            if (FAILED(contact->get_Oid(&oid))) oid = 0;
            contact->Release();
        }
        keys.push_back(oid);
    }
    return keys;
}

}  // namespace velmo
