// Rendering of scalars and string literals, shared by the writer, quote() and dump().
//
// Everything here renders exactly what the reader library's writer renders at its default
// options, with one exception: string literals require valid UTF-8 and escape only the
// quote, the backslash and control bytes; numbers come from the library's own number
// writer, except the signed zero that "-0" reads as, which is written "-0" (the library
// writes "0", which reads back as another kind of number). The writer
// escapes and validates strings itself, for speed; quote() and dump() call the library,
// and the tests hold the two to the same bytes.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "escapes.hpp"

namespace zu::json::detail {

// literal_cost returns the bytes `text` takes inside a plain string literal, quotes
// excluded. `high` is set when some byte is 0x80 or above (the text then needs UTF-8
// validation).
std::uint64_t literal_cost(std::string_view text, bool& high) noexcept;

// render_literal renders `text` with the reader library's writer and appends the whole
// literal to `out`. Returns false when the text is not valid UTF-8. Throws std::bad_alloc.
bool render_literal(std::string_view text, std::string& out);

// LibraryText is text rendered by the reader library's writer, freed with free().
struct LibraryText {
  std::unique_ptr<char, decltype(&std::free)> text{nullptr, &std::free};
  std::size_t length = 0;
};

// render_value renders `node` and everything under it compactly with the reader
// library's document writer; an empty result (null text) means it could not be rendered.
// REQUIRES: no signed zero under `node` (holds_signed_zero), which the library writes
// without its sign. Throws std::bad_alloc.
LibraryText render_value(yyjson_val* node);

// render_scalar writes the text of a null, boolean or number node into `buffer` and
// returns its length; 0 means the node could not be rendered.
// REQUIRES: `buffer` has room for kScalarBuffer bytes.
constexpr std::size_t kScalarBuffer = 64;
std::size_t render_scalar(yyjson_val* node, char* buffer) noexcept;

}  // namespace zu::json::detail
