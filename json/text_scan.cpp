#include "text_scan.hpp"

#include "escapes.hpp"

#include <cstdint>
#include <cstring>
#include <string_view>

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

std::size_t utf8_sequence_length(const unsigned char* p, const unsigned char* end) noexcept {
  // The allowed range of the second byte depends on the first; every later byte is a
  // plain continuation byte.
  const unsigned char c = *p;
  std::size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;   // no overlong forms
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;   // no overlong forms
    if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (static_cast<std::size_t>(end - p) < length) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool valid_utf8(const char* text, std::size_t n) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(text);
  const auto end = p + n;
  while (p < end) {
#if defined(__SSE2__)
    // Jump over ASCII sixteen bytes at a time, and straight to the first high byte.
    if (end - p >= 16) {
      const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      if (high == 0) {
        p += 16;
        continue;
      }
      p += __builtin_ctz(static_cast<unsigned>(high));
    }
#endif
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const std::size_t length = utf8_sequence_length(p, end);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

namespace {

// The plain escapes again, padded to eight bytes so that writing one is a single store.
struct PaddedEscape {
  char text[8];
  std::size_t length;
};

struct PaddedEscapes {
  PaddedEscape of[0x60];  // every escaped byte is below 0x60
};

constexpr PaddedEscapes make_padded_escapes() {
  PaddedEscapes t{};
  for (int c = 0; c < 0x60; ++c) {
    const std::string_view escape = plain_escape(static_cast<unsigned char>(c));
    for (std::size_t i = 0; i < escape.size(); ++i) t.of[c].text[i] = escape[i];
    t.of[c].length = escape.size();
  }
  return t;
}

constexpr PaddedEscapes kPadded = make_padded_escapes();

}  // namespace

std::size_t escape_into(const char* text, std::size_t n, char* out, std::size_t limit) noexcept {
  // One pass copies and escapes; bytes from 0x80 up are copied as they are and only
  // noted, and the text is validated as UTF-8 afterwards when any were seen. Sparse
  // non-ASCII text then costs one quick scan rather than a stop at every character.
  auto p = reinterpret_cast<const unsigned char*>(text);
  const auto end = p + n;
  char* d = out;
  unsigned high = 0;
  auto escape = [&]() {
    std::memcpy(d, kPadded.of[*p].text, 8);
    d += kPadded.of[*p].length;
    ++p;
  };
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i below_space = _mm_set1_epi8(0x1F);
  while (end - p >= 16) {
    // Copy sixteen bytes at once; the mask says how many of them needed no escape.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(v, below_space), below_space);
    const int mask = _mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)), control));
    high |= static_cast<unsigned>(_mm_movemask_epi8(v));
    if (mask == 0) {
      p += 16;
      d += 16;
    } else {
      const int plain = __builtin_ctz(static_cast<unsigned>(mask));
      p += plain;
      d += plain;
      escape();
    }
    if (static_cast<std::size_t>(d - out) > limit) return kEscapeFailed;
  }
#endif
  while (p < end) {
    const unsigned char cls = kClasses.of[*p];
    if (cls == 1) {
      escape();
    } else {
      high |= cls;
      *d++ = static_cast<char>(*p++);
    }
    if (static_cast<std::size_t>(d - out) > limit) return kEscapeFailed;
  }
  if (high != 0 && !valid_utf8(text, n)) return kEscapeFailed;
  return static_cast<std::size_t>(d - out);
}

}  // namespace zu::json::detail
