#pragma once
// The floor of a sender lookup: the six compared telephone fields of every contact read
// through an open connection, as a lookup over contacts already in memory must at least do.

#include <cstddef>

#include "common/ContactsConnection.h"

namespace velmo::bench {

inline std::size_t WalkSixFields(const velmo::ContactsConnection& connection) {
    using Getter = HRESULT (IContact::*)(BSTR*);
    static constexpr Getter getters[] = {
        &IContact::get_BusinessTelephoneNumber, &IContact::get_Business2TelephoneNumber,
        &IContact::get_HomeTelephoneNumber,     &IContact::get_Home2TelephoneNumber,
        &IContact::get_MobileTelephoneNumber,   &IContact::get_CarTelephoneNumber};
    std::size_t units = 0;
    int count = connection.Count();
    for (int i = 1; i <= count; ++i) {
        IContact* contact = connection.Item(i);
        for (auto getter : getters) {
            BSTR text = nullptr;
            (contact->*getter)(&text);
            units += SysStringLen(text);
            SysFreeString(text);
        }
        contact->Release();
    }
    return units;
}

}  // namespace velmo::bench
