// The text of a real number, as the reader library's writer renders it.
#pragma once

#include <cstddef>

namespace zu::json::detail {

constexpr std::size_t kRealTextMax = 40;

// format_real writes the shortest text that reads back as `value` into `out` and returns
// its length, or 0 for a value JSON cannot hold (NaN, infinities). The layout is the
// reader library's: plain digits with ".0" for integral values below 1e21, a decimal
// point inside the digits, "0.000ddd" down to 1e-6, and otherwise "d.ddde[-]x" with no
// plus sign. The tests compare it with the library's writer on a large sample of values.
std::size_t format_real(double value, char (&out)[kRealTextMax]) noexcept;

}  // namespace zu::json::detail
