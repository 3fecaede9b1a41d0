#pragma once
// The values of one GetProps call, freed with the store's allocator: what the handler and
// the device's own programs read from a message.

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "device/Mapi.h"

namespace velmo {

class PropValues {
public:
    PropValues() = default;
    ~PropValues() {
        if (values_ != nullptr) MAPIFreeBuffer(values_);
    }
    PropValues(const PropValues&) = delete;
    PropValues& operator=(const PropValues&) = delete;

    // Reads the tags from object as UTF-16; true when an array came back, even one in which some
    // properties are missing (MAPI_W_ERRORS_RETURNED).
    template <std::size_t N>
    bool Read(IMAPIProp* object, const ULONG (&tags)[N]) {
        SizedSPropTagArray<N> asked{N, {}};
        std::copy(std::begin(tags), std::end(tags), asked.aulPropTag);
        return SUCCEEDED(object->GetProps(asked, MAPI_UNICODE, &count_, &values_)) && values_ != nullptr;
    }

    ULONG Count() const { return values_ != nullptr ? count_ : 0; }
    LPSPropValue Values() const { return values_; }
    // The value at index when it came back as tag; nullptr for a missing one.
    const SPropValue* Get(ULONG index, ULONG tag) const {
        return index < Count() && values_[index].ulPropTag == tag ? &values_[index] : nullptr;
    }
    const char16_t* Text(ULONG index, ULONG tag) const {
        const SPropValue* value = Get(index, tag);
        return value != nullptr ? value->Value.lpszW : nullptr;
    }

private:
    ULONG count_ = 0;
    LPSPropValue values_ = nullptr;
};

}  // namespace velmo
