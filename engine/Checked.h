#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "ErrorRecord.h"

namespace pellomar {

// Counters, levels and positions are 16-bit or 32-bit by design; a result outside the type is an
// overflow error for the user to see, never a silent wrap-around.
template <class T>
T checkedNarrow(std::int64_t value, const char* what) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
        throw MorvantError(ErrorNumber::Overflow,
                           std::string(what) + " " + std::to_string(value) + " is outside " +
                               std::to_string(std::numeric_limits<T>::min()) + ".." +
                               std::to_string(std::numeric_limits<T>::max()));
    }
    return static_cast<T>(value);
}

// A text position or length that must stay a 32-bit position.
inline std::int32_t checkedPosition(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max() || value < 0) {
        throw MorvantError(ErrorNumber::Overflow,
                           "the text would be longer than 2147483647 characters");
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace pellomar
