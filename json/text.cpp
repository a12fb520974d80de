// quote() and Value::dump(): whole renderings by the reader library's writer.
#include <cstdlib>
#include <memory>
#include <new>

#include "node.hpp"
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
  const detail::LibraryText rendered = detail::render_value(node);
  return rendered.text ? std::string(rendered.text.get(), rendered.length) : std::string();
}

}  // namespace zu::json
