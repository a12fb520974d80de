// Rendering of scalars and string literals, shared by the writer, quote() and dump().
//
// String literals follow the reader library's writer at its default options: valid
// UTF-8 is required, and only the quote, the backslash and control bytes are escaped.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zu::json::detail {

// plain_escape returns the escape sequence of byte `c` in a plain string literal, or an
// empty view when the byte is copied unchanged.
std::string_view plain_escape(unsigned char c) noexcept;

// embedded_escape returns the escape sequence of byte `c` inside a string literal that
// is itself embedded in another string literal (the plain escape, escaped once more), or
// an empty view when the byte is copied unchanged.
std::string_view embedded_escape(unsigned char c) noexcept;

// plain_literal_cost returns the bytes `text` takes inside a plain string literal, quotes
// excluded, stopping early (with a result above `budget`) once it passes `budget`.
// `ascii` is set when every byte is below 0x80.
std::uint64_t plain_literal_cost(std::string_view text, std::uint64_t budget, bool& ascii) noexcept;

// append_ascii_literal_body appends the escaped bytes of an all-ASCII `text`, which is
// exactly what the reader library's writer produces for it (ASCII is always valid UTF-8).
void append_ascii_literal_body(std::string_view text, std::string& out);

// render_literal_chunk renders `chunk` with the reader library's writer and appends the
// literal without its quotes to `out` (when non-null). Returns false when the chunk is
// not valid UTF-8. Throws std::bad_alloc.
bool render_literal_chunk(std::string_view chunk, std::string* out);

// render_scalar writes the text of a null, boolean or number node into `buffer` and
// returns its length; 0 means the node could not be rendered. Throws std::bad_alloc.
constexpr std::size_t kScalarBuffer = 64;
std::size_t render_scalar(yyjson_val* node, char (&buffer)[kScalarBuffer]);

}  // namespace zu::json::detail
