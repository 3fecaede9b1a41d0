#include "app/core/PoomContactSource.h"

namespace velmo {

namespace {

using Getter = HRESULT (IContact::*)(BSTR*);

Getter GetterOf(ContactField field) {
    switch (field) {
        case ContactField::FirstName: return &IContact::get_FirstName;
        case ContactField::LastName: return &IContact::get_LastName;
        case ContactField::FileAs: return &IContact::get_FileAs;
        case ContactField::CompanyName: return &IContact::get_CompanyName;
        case ContactField::MobileTelephoneNumber: return &IContact::get_MobileTelephoneNumber;
        case ContactField::BusinessTelephoneNumber: return &IContact::get_BusinessTelephoneNumber;
        case ContactField::Business2TelephoneNumber: return &IContact::get_Business2TelephoneNumber;
        case ContactField::HomeTelephoneNumber: return &IContact::get_HomeTelephoneNumber;
        case ContactField::Home2TelephoneNumber: return &IContact::get_Home2TelephoneNumber;
        case ContactField::CarTelephoneNumber: return &IContact::get_CarTelephoneNumber;
        case ContactField::RadioTelephoneNumber: return &IContact::get_RadioTelephoneNumber;
        case ContactField::Email1Address: return &IContact::get_Email1Address;
        case ContactField::Email2Address: return &IContact::get_Email2Address;
        case ContactField::Email3Address: return &IContact::get_Email3Address;
    }
    return nullptr;
}

class PoomContact : public ContactItem {
public:
    explicit PoomContact(IContact* contact) : contact_(contact) {}
    ~PoomContact() override { contact_->Release(); }
    PoomContact(const PoomContact&) = delete;
    PoomContact& operator=(const PoomContact&) = delete;

    bool Oid(std::int32_t& oid) override {
        LONG value = 0;
        if (contact_->get_Oid(&value) != S_OK) return false;
        oid = value;
        return true;
    }

    std::u16string Field(ContactField field) override {
        BSTR text = nullptr;
        Getter getter = GetterOf(field);
        if (getter == nullptr || (contact_->*getter)(&text) != S_OK || text == nullptr) {
            SysFreeString(text);
            return {};
        }
        std::u16string result(text, SysStringLen(text));
        SysFreeString(text);
        return result;
    }

private:
    IContact* contact_;
};

}  // namespace

std::unique_ptr<ContactItem> WrapContact(IContact* contact) { return std::make_unique<PoomContact>(contact); }

PoomContactSource::PoomContactSource() : open_(connection_.Open()) {}

PoomContactSource::~PoomContactSource() { Close(); }

void PoomContactSource::Close() {
    connection_.Close();
    open_ = false;
}

void PoomContactSource::Refresh() {
    if (open_) connection_.Refresh();
}

std::int32_t PoomContactSource::Count() { return open_ ? connection_.Count() : 0; }

std::unique_ptr<ContactItem> PoomContactSource::Item(std::int32_t index) {
    IContact* contact = open_ ? connection_.Item(index) : nullptr;
    if (contact == nullptr) return nullptr;
    return WrapContact(contact);
}

}  // namespace velmo
