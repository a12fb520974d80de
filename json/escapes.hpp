// The escape sequences of JSON string literals, as constant tables.
//
// A plain literal escapes the quote and the backslash with a backslash, the control bytes
// 0x08, 0x09, 0x0A, 0x0C and 0x0D by their short forms, and every other control byte as
// \u00XX in upper case. A literal embedded inside another literal (quoted_json) escapes
// the plain escape once more, writing the hexadecimal digits in lower case.
#pragma once

#include <string_view>

namespace zu::json::detail {

struct EscapeTables {
  char plain[32][6];
  unsigned char plain_length[32];
  char embedded[32][7];
  unsigned char embedded_length[32];
};

constexpr EscapeTables make_escape_tables() {
  EscapeTables t{};
  constexpr char upper[] = "0123456789ABCDEF";
  constexpr char lower[] = "0123456789abcdef";
  for (int c = 0; c < 32; ++c) {
    const char named = c == 0x08 ? 'b' : c == 0x09 ? 't' : c == 0x0A ? 'n' : c == 0x0C ? 'f' : c == 0x0D ? 'r' : 0;
    if (named != 0) {
      const char p[] = {'\\', named};
      const char e[] = {'\\', '\\', named};
      for (int i = 0; i < 2; ++i) t.plain[c][i] = p[i];
      for (int i = 0; i < 3; ++i) t.embedded[c][i] = e[i];
      t.plain_length[c] = 2;
      t.embedded_length[c] = 3;
    } else {
      const char p[] = {'\\', 'u', '0', '0', upper[c >> 4], upper[c & 15]};
      const char e[] = {'\\', '\\', 'u', '0', '0', lower[c >> 4], lower[c & 15]};
      for (int i = 0; i < 6; ++i) t.plain[c][i] = p[i];
      for (int i = 0; i < 7; ++i) t.embedded[c][i] = e[i];
      t.plain_length[c] = 6;
      t.embedded_length[c] = 7;
    }
  }
  return t;
}

inline constexpr EscapeTables kEscapes = make_escape_tables();

// plain_escape returns the escape of byte `c` in a plain literal, or an empty view when
// the byte is copied unchanged.
constexpr std::string_view plain_escape(unsigned char c) noexcept {
  if (c < 0x20) return {kEscapes.plain[c], kEscapes.plain_length[c]};
  if (c == '"') return "\\\"";
  if (c == '\\') return "\\\\";
  return {};
}

// embedded_escape returns the escape of byte `c` inside an embedded literal, or an empty
// view when the byte is copied unchanged.
constexpr std::string_view embedded_escape(unsigned char c) noexcept {
  if (c < 0x20) return {kEscapes.embedded[c], kEscapes.embedded_length[c]};
  if (c == '"') return "\\\\\\\"";
  if (c == '\\') return "\\\\\\\\";
  return {};
}

}  // namespace zu::json::detail
