#include "app/core/StateSelectorData.h"

namespace velmo {

bool StateSelectorData::SetCurrent(std::int32_t state) {
    if (state == current_) return false;
    current_ = state;
    return true;
}

bool StateSelectorData::SetCount(std::int32_t count) {
    count_ = count;
    if (current_ < count_) return false;
    current_ = 0;
    return true;
}

void StateSelectorData::Advance() {
    // A value set from outside the count may sit at the top of the range.
    current_ = current_ >= count_ - 1 ? 0 : current_ + 1;
}

}  // namespace velmo
