#include "render.hpp"

#include "real_text.hpp"
#include "text_scan.hpp"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace zu::json::detail {
namespace {

struct EscapeTables {
  // Each entry holds the escape sequence and its length; length 0 means "copy".
  char plain[32][7];
  unsigned char plain_length[32];
  char embedded[32][8];
  unsigned char embedded_length[32];
};

constexpr EscapeTables make_tables() {
  EscapeTables t{};
  constexpr char upper[] = "0123456789ABCDEF";
  constexpr char lower[] = "0123456789abcdef";
  for (int c = 0; c < 32; ++c) {
    char named = 0;
    switch (c) {
      case 0x08: named = 'b'; break;
      case 0x09: named = 't'; break;
      case 0x0A: named = 'n'; break;
      case 0x0C: named = 'f'; break;
      case 0x0D: named = 'r'; break;
      default: break;
    }
    if (named != 0) {
      t.plain[c][0] = '\\';
      t.plain[c][1] = named;
      t.plain_length[c] = 2;
      t.embedded[c][0] = '\\';
      t.embedded[c][1] = '\\';
      t.embedded[c][2] = named;
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

constexpr EscapeTables kTables = make_tables();

}  // namespace

std::string_view plain_escape(unsigned char c) noexcept {
  if (c < 0x20) return {kTables.plain[c], kTables.plain_length[c]};
  if (c == '"') return "\\\"";
  if (c == '\\') return "\\\\";
  return {};
}

std::string_view embedded_escape(unsigned char c) noexcept {
  if (c < 0x20) return {kTables.embedded[c], kTables.embedded_length[c]};
  if (c == '"') return "\\\\\\\"";
  if (c == '\\') return "\\\\\\\\";
  return {};
}

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

void append_literal_body(std::string_view text, std::string& out) {
  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    const char* special = find_special(p, end, false);
    out.append(p, static_cast<std::size_t>(special - p));
    if (special == end) return;
    out.append(plain_escape(static_cast<unsigned char>(*special)));
    p = special + 1;
  }
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

std::size_t render_scalar(yyjson_val* node, char (&buffer)[kScalarBuffer]) noexcept {
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
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_UINT:
      return static_cast<std::size_t>(
          std::to_chars(buffer, buffer + kScalarBuffer, node->uni.u64).ptr - buffer);
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_SINT:
      return static_cast<std::size_t>(
          std::to_chars(buffer, buffer + kScalarBuffer, node->uni.i64).ptr - buffer);
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_REAL: {
      char text[kRealTextMax];
      const std::size_t n = format_real(node->uni.f64, text);
      std::memcpy(buffer, text, n);
      return n;
    }
    default:
      return 0;
  }
}

}  // namespace zu::json::detail
