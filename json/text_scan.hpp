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

}  // namespace zu::json::detail
