#include "render.hpp"

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

std::uint64_t plain_literal_cost(std::string_view text, std::uint64_t budget,
                                 bool& ascii) noexcept {
  std::uint64_t cost = 0;
  unsigned char high = 0;
  // The budget is checked once per block, which reaches the same verdict as checking
  // every byte without paying for it on every byte.
  constexpr std::size_t kBlock = 256;
  for (std::size_t start = 0; start < text.size(); start += kBlock) {
    const std::size_t stop = std::min(text.size(), start + kBlock);
    for (std::size_t i = start; i < stop; ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      high |= c;
      cost += 1;
      if (c < 0x20) {
        cost += kTables.plain_length[c] - 1u;
      } else if (c == '"' || c == '\\') {
        cost += 1;
      }
    }
    if (cost > budget) break;
  }
  ascii = high < 0x80;
  return cost;
}

void append_ascii_literal_body(std::string_view text, std::string& out) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view escape = plain_escape(static_cast<unsigned char>(text[i]));
    if (escape.empty()) continue;
    out.append(text.data() + run, i - run);
    out.append(escape);
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

bool render_literal_chunk(std::string_view chunk, std::string* out) {
  yyjson_mut_val node{};
  yyjson_mut_set_strn(&node, chunk.data(), chunk.size());
  size_t length = 0;
  yyjson_write_err error{};
  std::unique_ptr<char, decltype(&std::free)> text(
      yyjson_mut_val_write_opts(&node, 0, nullptr, &length, &error), &std::free);
  if (!text) {
    if (error.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    return false;
  }
  if (length < 2) return false;
  if (out != nullptr) out->append(text.get() + 1, length - 2);
  return true;
}

std::size_t render_scalar(yyjson_val* node, char (&buffer)[kScalarBuffer]) {
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
    case YYJSON_TYPE_NUM | YYJSON_SUBTYPE_REAL:
      break;
    default:
      return 0;
  }
  // Reals take the reader library's shortest round-trip form. A small pool on the stack
  // spares the heap; should it ever be too small, the default allocator takes over.
  alignas(16) unsigned char pool[256];
  yyjson_alc alc;
  yyjson_alc_pool_init(&alc, pool, sizeof pool);
  size_t length = 0;
  yyjson_write_err error{};
  char* text = yyjson_val_write_opts(node, 0, &alc, &length, &error);
  if (text != nullptr) {
    const std::size_t n = length < kScalarBuffer ? length : 0;
    std::memcpy(buffer, text, n);
    return n;
  }
  if (error.code != YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) return 0;
  std::unique_ptr<char, decltype(&std::free)> heap(
      yyjson_val_write_opts(node, 0, nullptr, &length, &error), &std::free);
  if (!heap) {
    if (error.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    return 0;
  }
  const std::size_t n = length < kScalarBuffer ? length : 0;
  std::memcpy(buffer, heap.get(), n);
  return n;
}

}  // namespace zu::json::detail
