// quote() and Value::dump(): whole renderings by the reader library's writer (a value
// holding a signed zero goes through the facade's own writer, which keeps its sign).
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "node.hpp"
#include "node_layout.hpp"
#include "render.hpp"
#include "zu/json/writer.hpp"

namespace zu::json {

std::string quote(std::string_view text) {
  if (text.empty()) return "\"\"";
  if (text.data() == nullptr) return {};
  std::string literal;
  if (!detail::render_literal(text, literal)) return {};
  return literal;
}

std::string Value::dump() const {
  yyjson_val* node = detail::Access::node(*this);
  if (node == nullptr) return {};
  if (detail::holds_signed_zero(node)) {
    // The library would write "-0" as "0"; the writer keeps the sign and is otherwise
    // byte for byte the same. Nothing limits a dump, so neither budget nor depth can stop it.
    std::string text;
    constexpr std::uint64_t kUnlimited = ~std::uint64_t{0};
    BoundedWriter writer({.max_bytes = kUnlimited, .max_depth = kUnlimited}, &text);
    return writer.value(*this, 0).ok() ? text : std::string();
  }
  const detail::LibraryText rendered = detail::render_value(node);
  return rendered.text ? std::string(rendered.text.get(), rendered.length) : std::string();
}

}  // namespace zu::json
