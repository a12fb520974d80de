// The nesting pre-scan that runs over raw bytes before the reader sees them.
#pragma once

#include <cstdint>
#include <string_view>

namespace zu::json::detail {

// nesting_within returns false when an opening bracket or brace outside a string is met
// while `max_depth` containers are already open. Brackets inside strings do not count,
// also after escaped quotes; a closing bracket at depth 0 is ignored. It does not check
// anything else, so malformed input that nests too deep is still caught here. One pass,
// no allocation.
bool nesting_within(std::string_view text, std::uint64_t max_depth) noexcept;

}  // namespace zu::json::detail
