#include "render.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "escapes.hpp"
#include "node_layout.hpp"
#include "text_scan.hpp"

namespace zu::json::detail {

std::uint64_t literal_cost(std::string_view text, bool& high) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  std::uint64_t cost = text.size();
  bool stop_at_high = true;
  for (;;) {
    p = find_special(p, end, stop_at_high);
    if (p == end) break;
    const auto c = static_cast<unsigned char>(*p++);
    if (c >= 0x80) {
      stop_at_high = false;  // one high byte is enough to know validation is needed
      continue;
    }
    cost += plain_escape(c).size() - 1;
  }
  high = !stop_at_high;
  return cost;
}

LibraryText render_value(yyjson_val* node) {
  LibraryText rendered;
  yyjson_write_err error{};
  rendered.text.reset(yyjson_val_write_opts(node, 0, nullptr, &rendered.length, &error));
  if (!rendered.text && error.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
  return rendered;
}

bool render_literal(std::string_view text, std::string& out) {
  yyjson_mut_val node{};
  yyjson_mut_set_strn(&node, text.data(), text.size());
  size_t length = 0;
  yyjson_write_err error{};
  std::unique_ptr<char, decltype(&std::free)> rendered(
      yyjson_mut_val_write_opts(&node, 0, nullptr, &length, &error), &std::free);
  if (!rendered) {
    if (error.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    return false;
  }
  out.append(rendered.get(), length);
  return true;
}

std::size_t render_scalar(yyjson_val* node, char* buffer) noexcept {
  switch (yyjson_get_tag(node)) {
    case YYJSON_TYPE_NULL | YYJSON_SUBTYPE_NONE:
      std::memcpy(buffer, "null", 4);
      return 4;
    case YYJSON_TYPE_BOOL | YYJSON_SUBTYPE_TRUE:
      std::memcpy(buffer, "true", 4);
      return 4;
    case YYJSON_TYPE_BOOL | YYJSON_SUBTYPE_FALSE:
      std::memcpy(buffer, "false", 5);
      return 5;
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_REAL:
      // The whole-document writer refuses non-finite reals; the number writer alone
      // would spell them out. Parsed documents never hold them.
      if (!std::isfinite(yyjson_get_real(node))) return 0;
      [[fallthrough]];
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_SINT:
      // The library renders "-0" as "0", which reads back as the unsigned 0: another
      // kind of number, which digests differently. Keeping the sign makes every number
      // read back as it was written.
      if (is_signed_zero(node)) {
        std::memcpy(buffer, "-0", 2);
        return 2;
      }
      [[fallthrough]];
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_UINT: {
      // The library's own number writer: the same text as its document writer, with no
      // allocation. It needs 40 bytes of room.
      const char* end = yyjson_write_number(node, buffer);
      return end == nullptr ? 0 : static_cast<std::size_t>(end - buffer);
    }
    default:
      return 0;
  }
}

}  // namespace zu::json::detail
