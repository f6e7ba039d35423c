// A fixed array indexed from 1 to N whose every access is range-checked:
// an index outside 1..N raises RangeError.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "support/errors.h"

namespace tarvel {

template <typename T, std::int32_t N>
class RangeArray {
    static_assert(N > 0);

public:
    static constexpr std::int32_t kLow = 1;
    static constexpr std::int32_t kHigh = N;

    T& operator[](std::int32_t i) { return items_[Slot(i)]; }
    const T& operator[](std::int32_t i) const { return items_[Slot(i)]; }

    static constexpr bool InRange(std::int32_t i) { return i >= kLow && i <= kHigh; }

private:
    static std::size_t Slot(std::int32_t i) {
        if (!InRange(i)) throw RangeError();
        return static_cast<std::size_t>(i - kLow);
    }

    std::array<T, N> items_{};
};

}  // namespace tarvel
