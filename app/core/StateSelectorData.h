#pragma once
// What the state selector control keeps: the state it shows and how many there are.
// It knows nothing of what the states mean.

#include <cstdint>

namespace velmo {

class StateSelectorData {
public:
    std::int32_t Current() const { return current_; }
    std::int32_t Count() const { return count_; }

    // Takes any value, even one outside the count; true when the shown state changed.
    bool SetCurrent(std::int32_t state);
    // True when the current state fell outside the new count and went back to 0.
    bool SetCount(std::int32_t count);
    // The next state, wrapping to 0 at the count.
    void Advance();

private:
    std::int32_t current_ = 0;
    std::int32_t count_ = 0;
};

}  // namespace velmo
