// Locations inside a schema or a value, kept as a chain of stack frames while a check
// descends and turned into text only when a message needs it, so the checks allocate
// nothing on the way down.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel::mcp::detail {

// Location is one step of a path: `prefix` followed by `name` (a member name) or, when
// `has_index` is set, by `index` in decimal. The root step holds the caller's path as its
// prefix. `parent` is null only at the root.
struct Location {
  const Location* parent = nullptr;
  std::string_view prefix;
  std::string_view name;
  std::size_t index = 0;
  bool has_index = false;

  static Location root(std::string_view path) { return {nullptr, path, {}, 0, false}; }
  static Location step(const Location& parent, std::string_view prefix, std::string_view name = {}) {
    return {&parent, prefix, name, 0, false};
  }
  static Location element(const Location& parent, std::size_t index) {
    return {&parent, "/", {}, index, true};
  }

  // text returns the whole path from the root to this step.
  [[nodiscard]] std::string text() const;
};

}  // namespace vantrel::mcp::detail
