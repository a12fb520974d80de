#include "text_scan.hpp"

#include "escapes.hpp"

#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <tmmintrin.h>
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

#if defined(__SSE2__)
// escape_mask has a bit set for every byte of `v` that a literal escapes: the quote, the
// backslash, and bytes up to 0x1F (exactly those where max(v, 0x1F) is 0x1F).
inline int escape_mask(__m128i v) noexcept {
  const __m128i below_space = _mm_set1_epi8(0x1F);
  const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(v, below_space), below_space);
  return _mm_movemask_epi8(_mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
      control));
}
#endif


}  // namespace

const char* find_special(const char* p, const char* end, bool stop_at_high) noexcept {
#if defined(__SSE2__)
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    int mask = escape_mask(v);
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

namespace {

bool valid_utf8_scalar(const unsigned char* p, const unsigned char* end) noexcept {
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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZU_JSON_HAVE_SSSE3_UTF8 1

// Sixteen bytes at a time, after Keiser and Lemire ("Validating UTF-8 in less than one
// instruction per byte"): each byte and the byte before it are classified by three
// nibble lookups whose AND is non-zero exactly for an invalid pair; a second check
// demands continuation bytes where a three- or four-byte lead two or three bytes back
// requires them. Blocks of pure ASCII only confirm that no character was left open.
enum : std::uint8_t {
  kTooShort = 1 << 0,   // a lead byte followed by a lead byte or ASCII
  kTooLong = 1 << 1,    // ASCII followed by a continuation byte
  kOverlong3 = 1 << 2,  // E0 followed by 80..9F
  kTooLarge = 1 << 3,   // F4 followed by 90..BF, or a lead above F4
  kSurrogate = 1 << 4,  // ED followed by A0..BF
  kOverlong2 = 1 << 5,  // C0 or C1
  kTooLarge1000 = 1 << 6,
  kOverlong4 = 1 << 6,  // F0 followed by 80..8F
  kTwoConts = 1 << 7,   // two continuation bytes in a row (checked against the lengths)
  kCarry = kTooShort | kTooLong | kTwoConts,
};

__attribute__((target("ssse3"))) inline __m128i lookup(__m128i nibbles, const std::uint8_t (&table)[16]) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)), nibbles);
}

alignas(16) constexpr std::uint8_t kByte1High[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
    kTwoConts, kTwoConts, kTwoConts, kTwoConts,
    kTooShort | kOverlong2,
    kTooShort,
    kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};

alignas(16) constexpr std::uint8_t kByte1Low[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4,
    kCarry | kOverlong2,
    kCarry,
    kCarry,
    kCarry | kTooLarge,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000};

alignas(16) constexpr std::uint8_t kByte2High[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooShort, kTooShort, kTooShort, kTooShort};

// The last bytes of a block that leave a character open: a lead byte in the last three
// positions that needs more bytes than remain.
alignas(16) constexpr std::uint8_t kIncompleteMax[16] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xF0 - 1, 0xE0 - 1, 0xC0 - 1};

struct Utf8State {
  __m128i error;
  __m128i previous;
  __m128i previous_incomplete;
};

__attribute__((target("ssse3"))) inline void check_block(Utf8State& state, __m128i input) {
  if (_mm_movemask_epi8(input) == 0) {
    state.error = _mm_or_si128(state.error, state.previous_incomplete);
  } else {
    const __m128i low_nibble = _mm_set1_epi8(0x0F);
    const __m128i prev1 = _mm_alignr_epi8(input, state.previous, 15);
    const __m128i byte_1_high = lookup(_mm_and_si128(_mm_srli_epi16(prev1, 4), low_nibble), kByte1High);
    const __m128i byte_1_low = lookup(_mm_and_si128(prev1, low_nibble), kByte1Low);
    const __m128i byte_2_high = lookup(_mm_and_si128(_mm_srli_epi16(input, 4), low_nibble), kByte2High);
    const __m128i special = _mm_and_si128(_mm_and_si128(byte_1_high, byte_1_low), byte_2_high);
    const __m128i prev2 = _mm_alignr_epi8(input, state.previous, 14);
    const __m128i prev3 = _mm_alignr_epi8(input, state.previous, 13);
    const __m128i third = _mm_subs_epu8(prev2, _mm_set1_epi8(static_cast<char>(0xE0 - 1)));
    const __m128i fourth = _mm_subs_epu8(prev3, _mm_set1_epi8(static_cast<char>(0xF0 - 1)));
    const __m128i must_continue = _mm_cmpgt_epi8(_mm_or_si128(third, fourth), _mm_setzero_si128());
    const __m128i must_continue_80 = _mm_and_si128(must_continue, _mm_set1_epi8(static_cast<char>(0x80)));
    state.error = _mm_or_si128(state.error, _mm_xor_si128(must_continue_80, special));
    state.previous_incomplete =
        _mm_subs_epu8(input, _mm_load_si128(reinterpret_cast<const __m128i*>(kIncompleteMax)));
  }
  state.previous = input;
}

__attribute__((target("ssse3"))) bool valid_utf8_ssse3(const unsigned char* p,
                                                       const unsigned char* end) noexcept {
  Utf8State state{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  while (end - p >= 16) {
    check_block(state, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    p += 16;
  }
  if (p < end) {
    // The tail, padded with zero bytes, which are ASCII and so close nothing falsely.
    alignas(16) unsigned char tail[16] = {};
    std::memcpy(tail, p, static_cast<std::size_t>(end - p));
    check_block(state, _mm_load_si128(reinterpret_cast<const __m128i*>(tail)));
  }
  const __m128i error = _mm_or_si128(state.error, state.previous_incomplete);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) == 0xFFFF;
}

bool have_ssse3() noexcept {
  static const bool supported = __builtin_cpu_supports("ssse3");
  return supported;
}
#endif

}  // namespace

bool valid_utf8(const char* text, std::size_t n) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(text);
#if defined(ZU_JSON_HAVE_SSSE3_UTF8)
  // Short texts are not worth the vector setup.
  if (n >= 64 && have_ssse3()) return valid_utf8_ssse3(p, p + n);
#endif
  return valid_utf8_scalar(p, p + n);
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

std::size_t escape_into(const char* text, std::size_t n, char* out, std::size_t limit,
                        bool validate) noexcept {
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
  while (end - p >= 16) {
    // Copy sixteen bytes at once; the mask says how many of them needed no escape.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
    const int mask = escape_mask(v);
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
  if (validate && high != 0 && !valid_utf8(text, n)) return kEscapeFailed;
  return static_cast<std::size_t>(d - out);
}

}  // namespace zu::json::detail
