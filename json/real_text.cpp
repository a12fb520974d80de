#include "real_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace zu::json::detail {

std::size_t format_real(double value, char (&out)[kRealTextMax]) noexcept {
  if (!std::isfinite(value)) return 0;
  // The shortest round-trip digits come from the standard library in scientific form,
  // "[-]d[.ddd]e(+|-)xx"; only their layout differs from what we write.
  char scientific[32];
  const auto result = std::to_chars(scientific, scientific + sizeof scientific, value,
                                    std::chars_format::scientific);
  const char* p = scientific;
  const char* const e = static_cast<const char*>(std::memchr(scientific, 'e', static_cast<std::size_t>(result.ptr - scientific)));
  char digits[20];
  int k = 0;  // number of significant digits
  const bool negative = *p == '-';
  if (negative) ++p;
  for (; p < e; ++p) {
    if (*p != '.') digits[k++] = *p;
  }
  int exponent = 0;  // value = d.ddd * 10^exponent
  std::from_chars(e + (e[1] == '+' ? 2 : 1), result.ptr, exponent);
  const int n = exponent + 1;             // value = 0.dddd * 10^n

  char* w = out;
  if (negative) *w++ = '-';
  if (k <= n && n <= 21) {
    std::memcpy(w, digits, static_cast<std::size_t>(k));
    w += k;
    std::memset(w, '0', static_cast<std::size_t>(n - k));
    w += n - k;
    *w++ = '.';
    *w++ = '0';
  } else if (0 < n && n <= 21) {
    std::memcpy(w, digits, static_cast<std::size_t>(n));
    w += n;
    *w++ = '.';
    std::memcpy(w, digits + n, static_cast<std::size_t>(k - n));
    w += k - n;
  } else if (-6 < n && n <= 0) {
    *w++ = '0';
    *w++ = '.';
    std::memset(w, '0', static_cast<std::size_t>(-n));
    w += -n;
    std::memcpy(w, digits, static_cast<std::size_t>(k));
    w += k;
  } else {
    *w++ = digits[0];
    if (k > 1) {
      *w++ = '.';
      std::memcpy(w, digits + 1, static_cast<std::size_t>(k - 1));
      w += k - 1;
    }
    *w++ = 'e';
    w = std::to_chars(w, out + kRealTextMax, n - 1).ptr;
  }
  return static_cast<std::size_t>(w - out);
}

}  // namespace zu::json::detail
