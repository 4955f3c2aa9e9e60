#pragma once

#include <cfenv>
#include <cmath>
#include <cstdint>

namespace pelisto {

// The tool's one rounding rule: nearest integer, halves to the even neighbour, computed in
// extended precision.
inline std::int64_t Nearest(long double value) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(value);
    std::fesetround(saved);
    return static_cast<std::int64_t>(r);
}

} // namespace pelisto
