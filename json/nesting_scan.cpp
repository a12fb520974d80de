#include "nesting_scan.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zu::json::detail {
namespace {

// Most of a typical document's bytes sit inside strings, where only a quote or a
// backslash matters, so that stretch is skipped sixteen (or eight) bytes at a time.
const unsigned char* skip_plain_string_bytes(const unsigned char* p,
                                             const unsigned char* end) noexcept {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  while (end - p >= 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int hits = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)));
    if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
    p += 16;
  }
#else
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  constexpr std::uint64_t highs = 0x8080808080808080ULL;
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const std::uint64_t q = word ^ (ones * '"');
    const std::uint64_t b = word ^ (ones * '\\');
    if ((((q - ones) & ~q) | ((b - ones) & ~b)) & highs) break;
    p += 8;
  }
#endif
  while (p < end && *p != '"' && *p != '\\') ++p;
  return p;
}

}  // namespace

bool nesting_within(std::string_view text, std::uint64_t max_depth) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  const auto end = p + text.size();
  std::uint64_t depth = 0;
  while (p < end) {
    const unsigned char c = *p++;
    switch (c) {
      case '"':
        // Inside a string: skip to the closing quote, stepping over every escaped byte.
        for (;;) {
          p = skip_plain_string_bytes(p, end);
          if (p == end) return true;
          if (*p == '"') {
            ++p;
            break;
          }
          p += (end - p >= 2) ? 2 : 1;  // a backslash and the byte it escapes
        }
        break;
      case '[':
      case '{':
        if (depth == max_depth) return false;
        ++depth;
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace zu::json::detail
