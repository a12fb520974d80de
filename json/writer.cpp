// BoundedWriter: budget accounting, string literals and the iterative value renderer.
#include <algorithm>
#include <cstring>

#include "level_stack.hpp"
#include "node.hpp"
#include "render.hpp"
#include "text_scan.hpp"
#include "zu/json/writer.hpp"

namespace zu::json {
namespace detail {
namespace {

// Sink writes straight into the caller's string: it grows the string ahead of the
// writing (geometrically, so growth is amortised) and trims it back to what was written
// when it goes out of scope, exceptions included. Pieces are mostly a few bytes long, so
// they are copied inline rather than through a library call. With no string (measuring)
// it drops everything.
class Sink {
 public:
  explicit Sink(std::string* out) noexcept
      : out_(out), pos_(out == nullptr ? 0 : out->size()), end_(pos_) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  ~Sink() {
    if (out_ != nullptr) out_->resize(pos_);  // shrinking never allocates
  }

  void put(char c) {
    if (out_ == nullptr) return;
    if (pos_ == end_) grow(1);
    (*out_)[pos_++] = c;
  }

  void put(std::string_view text) {
    if (out_ == nullptr) return;
    const std::size_t n = text.size();
    if (end_ - pos_ < n) grow(n);
    copy(out_->data() + pos_, text.data(), n);
    pos_ += n;
  }

 private:
  static void copy(char* to, const char* from, std::size_t n) noexcept {
    if (n >= 8 && n <= 16) {
      std::memcpy(to, from, 8);
      std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(to, from, 4);
      std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
      std::memcpy(to, from, n);
    }
  }

  void grow(std::size_t n) {
    const std::size_t wanted = std::max(pos_ + n, 2 * end_ + 256);
    try {
      out_->resize(wanted);
    } catch (...) {
      out_->resize(pos_);
      throw;
    }
    end_ = wanted;
  }

  std::string* out_;  // (nullable) null means measuring only
  std::size_t pos_;   // bytes of *out_ that hold output
  std::size_t end_;   // bytes of *out_ allocated as size, pos_ <= end_
};

}  // namespace

// WriterCore holds the writer's algorithms; it is the writer's friend so that they can
// live here, beside the helpers they use, rather than in the public header.
struct WriterCore {
  static void fail(BoundedWriter& w) noexcept { w.good_ = false; }

  static bool piece(BoundedWriter& w, Sink& sink, std::string_view text) {
    if (!w.claim(text.size())) return false;
    sink.put(text);
    return true;
  }

  static bool piece(BoundedWriter& w, Sink& sink, char c) {
    if (!w.claim(1)) return false;
    sink.put(c);
    return true;
  }

  static void quoted(BoundedWriter& w, Sink& sink, std::string_view text);
  static void embedded_string(BoundedWriter& w, Sink& sink, std::string_view text);
  static void render(BoundedWriter& w, Sink& sink, yyjson_val* root, std::uint64_t depth,
                     bool embedded);
};

void WriterCore::quoted(BoundedWriter& w, Sink& sink, std::string_view text) {
  if (!w.claim(2)) return;  // the two quotes
  const char* const end = text.data() + text.size();
  // The whole literal is claimed before anything is written, so a budget failure leaves
  // the output at the end of the previous token. Most text needs no escape at all.
  if (find_special(text.data(), end, true) == end) {
    if (!w.claim(text.size())) return;
    sink.put('"');
    sink.put(text);
    sink.put('"');
    return;
  }
  bool high = false;
  if (!w.claim(literal_cost(text, high))) return;
  // Measuring refuses what writing refuses: broken UTF-8 fails either way, and nothing
  // of a refused literal is appended.
  if (high && !valid_utf8(text.data(), text.size())) return fail(w);
  sink.put('"');
  const char* p = text.data();
  for (;;) {
    const char* special = find_special(p, end, false);
    sink.put({p, static_cast<std::size_t>(special - p)});
    if (special == end) break;
    sink.put(plain_escape(static_cast<unsigned char>(*special)));
    p = special + 1;
  }
  sink.put('"');
}

void WriterCore::embedded_string(BoundedWriter& w, Sink& sink, std::string_view text) {
  if (!piece(w, sink, "\\\"")) return;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end) {
    const char* special = find_special(p, end, false);
    if (special != p && !piece(w, sink, {p, static_cast<std::size_t>(special - p)})) return;
    if (special == end) break;
    if (!piece(w, sink, embedded_escape(static_cast<unsigned char>(*special)))) return;
    p = special + 1;
  }
  piece(w, sink, "\\\"");
}

namespace {

// One open container of the renderer.
struct Level {
  yyjson_val* next;       // (nullable) the next element, or the next member's key
  std::size_t remaining;  // elements or members not yet written
  bool object;
  bool first;
};

}  // namespace

void WriterCore::render(BoundedWriter& w, Sink& sink, yyjson_val* root, std::uint64_t depth,
                        bool embedded) {
  if (!w.good_) return;
  if (root == nullptr) return fail(w);
  LevelStack<Level> stack;

  auto write_string = [&](yyjson_val* node) {
    const std::string_view text(unsafe_yyjson_get_str(node), unsafe_yyjson_get_len(node));
    if (embedded) {
      embedded_string(w, sink, text);
    } else {
      quoted(w, sink, text);
    }
    return w.good_;
  };

  // write_one writes a scalar or string, or opens a container; false stops the render.
  auto write_one = [&](yyjson_val* node, std::uint64_t at_depth) -> bool {
    if (unsafe_yyjson_is_str(node)) return write_string(node);
    if (unsafe_yyjson_is_ctn(node)) {
      if (at_depth >= w.limits_.max_depth) {
        fail(w);
        return false;
      }
      const bool object = unsafe_yyjson_is_obj(node);
      if (!piece(w, sink, object ? '{' : '[')) return false;
      stack.push({unsafe_yyjson_get_first(node), unsafe_yyjson_get_len(node), object, true});
      return true;
    }
    char buffer[kScalarBuffer];
    const std::size_t n = render_scalar(node, buffer);
    if (n == 0) {
      fail(w);
      return false;
    }
    return piece(w, sink, {buffer, n});
  };

  if (!write_one(root, depth)) return;
  while (!stack.empty()) {
    Level& level = stack.top();
    if (level.remaining == 0) {
      const bool object = level.object;
      stack.pop();
      if (!piece(w, sink, object ? '}' : ']')) return;
      continue;
    }
    if (!level.first && !piece(w, sink, ',')) return;
    level.first = false;
    --level.remaining;
    yyjson_val* node = level.next;
    if (level.object) {
      level.next = next_sibling(node + 1);
      if (!write_string(node) || !piece(w, sink, ':')) return;
      node = node + 1;
    } else {
      level.next = next_sibling(node);
    }
    // `level` may dangle from here: write_one can push.
    if (!write_one(node, depth + stack.size())) return;
  }
}

}  // namespace detail

BoundedWriter::BoundedWriter(Limits limits, std::string* out) noexcept
    : limits_(limits),
      out_(out),
      used_(out == nullptr ? 0 : out->size()),
      good_(used_ <= limits.max_bytes) {}

BoundedWriter& BoundedWriter::raw(std::string_view text) {
  if (claim(text.size()) && out_ != nullptr) out_->append(text);
  return *this;
}

BoundedWriter& BoundedWriter::quoted(std::string_view text) {
  detail::Sink sink(out_);
  detail::WriterCore::quoted(*this, sink, text);
  return *this;
}

BoundedWriter& BoundedWriter::value(Value v, std::uint64_t depth) {
  detail::Sink sink(out_);
  detail::WriterCore::render(*this, sink, detail::Access::node(v), depth, false);
  return *this;
}

BoundedWriter& BoundedWriter::quoted_json(Value v) {
  detail::Sink sink(out_);
  if (detail::WriterCore::piece(*this, sink, '"')) {
    detail::WriterCore::render(*this, sink, detail::Access::node(v), 0, true);
    detail::WriterCore::piece(*this, sink, '"');
  }
  return *this;
}

}  // namespace zu::json
