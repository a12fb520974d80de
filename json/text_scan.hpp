// Byte scans shared by the writer: finding the bytes a string literal must escape, and
// validating UTF-8. Both skip plain stretches a block at a time.
#pragma once

#include <cstddef>

namespace zu::json::detail {

// find_special returns the first byte in [p, end) that a string literal escapes (the
// quote, the backslash, or a byte below 0x20), or with `stop_at_high` also any byte from
// 0x80 up; `end` when there is none.
const char* find_special(const char* p, const char* end, bool stop_at_high) noexcept;

// valid_utf8 returns true when [p, p + n) is well-formed UTF-8: shortest forms only, no
// surrogates, nothing above U+10FFFF. These are exactly the rules of the reader
// library's writer, which the tests check byte sequence by byte sequence.
bool valid_utf8(const char* p, std::size_t n) noexcept;

// utf8_sequence_length returns the length (2 to 4) of the well-formed multi-byte
// character at p, or 0 when the bytes from p are not one. REQUIRES: p < end, *p >= 0x80.
std::size_t utf8_sequence_length(const unsigned char* p, const unsigned char* end) noexcept;

// escape_into writes the body of the plain string literal of `text` (its escaped bytes,
// no quotes) to `out` in one pass and returns its length, or kEscapeFailed when the body
// would pass `limit` bytes or, with `validate`, when `text` is not valid UTF-8.
// REQUIRES: `out` has room for limit + kEscapeSlack bytes.
constexpr std::size_t kEscapeFailed = ~std::size_t{0};
constexpr std::size_t kEscapeSlack = 32;
std::size_t escape_into(const char* text, std::size_t n, char* out, std::size_t limit,
                        bool validate) noexcept;

}  // namespace zu::json::detail
