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
  size_t length = 0;
  yyjson_write_err error{};
  std::unique_ptr<char, decltype(&std::free)> text(
      yyjson_val_write_opts(node, 0, nullptr, &length, &error), &std::free);
  if (!text) {
    if (error.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    return {};
  }
  return std::string(text.get(), length);
}

}  // namespace zu::json
