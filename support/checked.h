// Checked 32-bit integer arithmetic: an overflow raises IntOverflowError
// instead of going on with a wrapped value.
#pragma once

#include <cstdint>

#include "support/errors.h"

namespace tarvel {

inline std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r)) throw IntOverflowError();
    return r;
}

inline std::int32_t CheckedSub(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) throw IntOverflowError();
    return r;
}

inline std::int32_t CheckedMul(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) throw IntOverflowError();
    return r;
}

}  // namespace tarvel
