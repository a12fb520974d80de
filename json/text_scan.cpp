#include "text_scan.hpp"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zu::json::detail {
namespace {

// The class of every byte: 1 when a literal escapes it, 2 when it is 0x80 or above.
struct ByteClasses {
  unsigned char of[256];
};

constexpr ByteClasses make_classes() {
  ByteClasses t{};
  for (int c = 0; c < 256; ++c) {
    t.of[c] = static_cast<unsigned char>((c < 0x20 || c == '"' || c == '\\') ? 1 : (c >= 0x80 ? 2 : 0));
  }
  return t;
}

constexpr ByteClasses kClasses = make_classes();

}  // namespace

const char* find_special(const char* p, const char* end, bool stop_at_high) noexcept {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i below_space = _mm_set1_epi8(0x1F);
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // v <= 0x1F unsigned exactly when max(v, 0x1F) == 0x1F.
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(v, below_space), below_space);
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)), control);
    int mask = _mm_movemask_epi8(hits);
    if (stop_at_high) mask |= _mm_movemask_epi8(v);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  const unsigned char stop = stop_at_high ? 3 : 1;
  while (p < end && (kClasses.of[static_cast<unsigned char>(*p)] & stop) == 0) ++p;
  return p;
}

bool valid_utf8(const char* text, std::size_t n) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(text);
  const auto end = p + n;
  while (p < end) {
#if defined(__SSE2__)
    while (end - p >= 16 &&
           _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))) == 0) {
      p += 16;
    }
    if (p == end) break;
#endif
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    // The allowed range of the second byte depends on the first; every later byte is a
    // plain continuation byte.
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;          // no overlong forms
      if (c == 0xED) high = 0x9F;         // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;          // no overlong forms
      if (c == 0xF4) high = 0x8F;         // nothing above U+10FFFF
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (std::size_t i = 2; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
    }
    p += length;
  }
  return true;
}

}  // namespace zu::json::detail
