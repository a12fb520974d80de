// BoundedWriter: the budget, string literals and the iterative value renderer.
//
// The renderer is written once, over an output policy: Writing puts text straight into
// the caller's string, Counting only adds up sizes (measuring mode). Both keep the
// budget the same way: a token (punctuation, a whole string literal, a scalar, or in
// embedded strings a run or an escape) is kept only when all of it fits, so a budget
// failure always leaves the output at a token boundary.
#include <algorithm>
#include <cstring>

#include "escapes.hpp"
#include "level_stack.hpp"
#include "node.hpp"
#include "node_layout.hpp"
#include "render.hpp"
#include "text_scan.hpp"
#include "tree_check.hpp"
#include "zu/json/writer.hpp"

namespace zu::json {
namespace detail {
namespace {

// Writing appends to the caller's string through a raw cursor. It grows the string ahead
// of the cursor (geometrically, so growth is amortised) and trims it back to what was
// kept when it goes out of scope, exceptions included.
class Writing {
 public:
  Writing(std::string& out, std::uint64_t budget) noexcept
      : out_(out), start_(out.size()), pos_(start_), end_(start_),
        left_(budget) {}
  Writing(const Writing&) = delete;
  Writing& operator=(const Writing&) = delete;
  ~Writing() { out_.resize(pos_); }  // shrinking never allocates

  [[nodiscard]] std::uint64_t kept() const noexcept { return pos_ - start_; }

  bool put(char c) {
    if (left_ == 0) return false;
    if (pos_ == end_) grow(1);
    out_[pos_++] = c;
    --left_;
    return true;
  }

  bool put(std::string_view text) {
    const std::size_t n = text.size();
    if (n > left_) return false;
    if (n > end_ - pos_) grow(n);
    copy_small(out_.data() + pos_, text.data(), n);
    pos_ += n;
    left_ -= n;
    return true;
  }

  // literal keeps the plain string literal of `text`, escaping and copying in one pass;
  // false when it does not fit or, unless `known_valid`, is not valid UTF-8.
  bool literal(std::string_view text, bool known_valid) {
    if (left_ < 2 || text.size() > left_ - 2) return false;
    // The room asked for is bounded by the budget, not by the worst case of six output
    // bytes per input byte.
    const std::uint64_t limit = std::min<std::uint64_t>(left_ - 2, 6 * std::uint64_t{text.size()});
    const auto room = static_cast<std::size_t>(limit) + kEscapeSlack + 2;
    if (room > end_ - pos_) grow(room);
    char* at = out_.data() + pos_;
    const std::size_t body =
        escape_into(text.data(), text.size(), at + 1, static_cast<std::size_t>(limit), !known_valid);
    if (body == kEscapeFailed) return false;
    at[0] = '"';
    at[body + 1] = '"';
    pos_ += body + 2;
    left_ -= body + 2;
    return true;
  }

  // scalar keeps the text of a null, boolean or number node.
  bool scalar(yyjson_val* node) {
    if (kScalarBuffer > end_ - pos_) grow(kScalarBuffer);
    char* at = out_.data() + pos_;
    const std::size_t n = render_scalar(node, at);
    if (n == 0 || n > left_) return false;
    pos_ += n;
    left_ -= n;
    return true;
  }

 private:
  // Tokens are mostly a few bytes long; fixed-size copies compile to plain moves.
  static void copy_small(char* to, const char* from, std::size_t n) noexcept {
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
    out_.resize(wanted);  // on failure the destructor still trims to what was kept
    end_ = wanted;
  }

  std::string& out_;
  std::size_t start_;    // size of the string when writing began
  std::size_t pos_;      // bytes of out_ that hold output
  std::size_t end_;      // bytes of out_ in use as room, pos_ <= end_
  std::uint64_t left_;   // budget not yet used
};

// Counting adds up what Writing would keep, and refuses exactly what it would refuse.
class Counting {
 public:
  explicit Counting(std::uint64_t budget) noexcept : left_(budget), budget_(budget) {}

  [[nodiscard]] std::uint64_t kept() const noexcept { return budget_ - left_; }

  bool put(char) { return take(1); }
  bool put(std::string_view text) { return take(text.size()); }

  bool literal(std::string_view text, bool known_valid) {
    if (!take(2)) return false;
    bool high = false;
    if (!take(literal_cost(text, high))) return false;
    return known_valid || !high || valid_utf8(text.data(), text.size());
  }

  bool scalar(yyjson_val* node) {
    char buffer[kScalarBuffer];
    const std::size_t n = render_scalar(node, buffer);
    return n != 0 && take(n);
  }

 private:
  bool take(std::uint64_t n) noexcept {
    if (n > left_) return false;
    left_ -= n;
    return true;
  }

  std::uint64_t left_;
  std::uint64_t budget_;
};

// One open container of the renderer.
struct Level {
  yyjson_val* next;       // (nullable) the next element, or the next member's key
  std::size_t remaining;  // elements or members not yet written
  bool object;
  bool first;
};

// embedded_string writes `text` as a string literal inside another literal: every run of
// plain bytes and every escape is its own token. Bytes from 0x20 up are copied unchecked.
template <class Output>
bool embedded_string(Output& out, std::string_view text) {
  if (!out.put("\\\"")) return false;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end) {
    const char* special = find_special(p, end, false);
    if (special != p && !out.put({p, static_cast<std::size_t>(special - p)})) return false;
    if (special == end) break;
    if (!out.put(embedded_escape(static_cast<unsigned char>(*special)))) return false;
    p = special + 1;
  }
  return out.put("\\\"");
}

// render writes the compact text of `root`, whose nesting level is `depth`, and returns
// false at the first token that fails. It never recurses.
template <bool kEmbedded, class Output>
bool render(Output& out, yyjson_val* root, std::uint64_t depth, std::uint64_t max_depth) {
  if (root == nullptr) return false;
  // `current` is the innermost open container while `open` holds; the stack keeps the
  // containers around it.
  LevelStack<Level> outer;
  Level current{};
  bool open = false;

  auto string = [&out](yyjson_val* node) {
    const std::string_view text = node_text(node);
    if constexpr (kEmbedded) {
      return embedded_string(out, text);
    } else {
      // The strict reader accepts only valid UTF-8 (lone surrogate escapes included), and
      // only it makes documents, so their strings need no second validation.
      return out.literal(text, true);
    }
  };

  // one writes a scalar or string, or opens a container and makes it the current one.
  auto one = [&](yyjson_val* node, std::uint64_t at_depth) {
    if (yyjson_is_str(node)) return string(node);
    if (!is_container(node)) return out.scalar(node);
    if (at_depth >= max_depth) return false;
    const bool object = yyjson_is_obj(node);
    if (!out.put(object ? '{' : '[')) return false;
    if (open) outer.push(current);
    current = {first_child(node), node_length(node), object, true};
    open = true;
    return true;
  };

  if (!one(root, depth)) return false;
  while (open) {
    if (current.remaining == 0) {
      if (!out.put(current.object ? '}' : ']')) return false;
      open = !outer.empty();
      if (open) current = outer.pop();
      continue;
    }
    if (!current.first && !out.put(',')) return false;
    current.first = false;
    --current.remaining;
    yyjson_val* node = current.next;
    if (current.object) {
      current.next = next_key(node);
      if (!string(node) || !out.put(':')) return false;
      node = member_value(node);
    } else {
      current.next = next_sibling(node);
    }
    if (!one(node, depth + outer.size() + 1)) return false;
  }
  return true;
}

}  // namespace

// WriterCore runs an operation over the right output and settles the writer's state; it
// is the writer's friend so that the algorithms live here rather than in the header.
struct WriterCore {
  template <class Operation>
  static void run(BoundedWriter& w, Operation&& operation) {
    if (!w.good_) return;
    const std::uint64_t left = w.limits_.max_bytes - w.used_;
    bool good;
    std::uint64_t kept;
    if (w.out_ == nullptr) {
      Counting out(left);
      good = operation(out);
      kept = out.kept();
    } else {
      Writing out(*w.out_, left);
      good = operation(out);
      kept = out.kept();
    }
    w.used_ += kept;
    w.good_ = good;
  }

  // whole writes a container in one piece with the reader library's document writer,
  // which renders exactly what the token renderer would, when the container is known to
  // nest within the limit, holds no signed zero (which the library writes without its
  // sign) and its text turns out to fit the budget. Otherwise it leaves
  // the writer untouched and returns false, and the token renderer does the work,
  // stopping at the exact token that fails.
  //
  // The library writer is the fastest way to produce the text, but it cannot stop at a
  // budget; so a container with more nodes than the budget has bytes (each node renders
  // to at least one byte) never goes to it.
  static bool whole(BoundedWriter& w, yyjson_val* node, std::uint64_t depth) {
    if (!w.good_ || w.out_ == nullptr || !yyjson_is_ctn(node)) return false;
    const std::uint64_t left = w.limits_.max_bytes - w.used_;
    if (subtree_nodes(node) > left) return false;
    if (depth >= w.limits_.max_depth || nests_too_deep(node, w.limits_.max_depth - depth)) return false;
    if (holds_signed_zero(node)) return false;
    const LibraryText rendered = render_value(node);
    if (!rendered.text || rendered.length > left) return false;
    w.out_->append(rendered.text.get(), rendered.length);
    w.used_ += rendered.length;
    return true;
  }
};

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
  detail::WriterCore::run(*this, [&](auto& out) { return out.literal(text, false); });
  return *this;
}

BoundedWriter& BoundedWriter::value(Value v, std::uint64_t depth) {
  if (detail::WriterCore::whole(*this, detail::Access::node(v), depth)) return *this;
  const std::uint64_t max_depth = limits_.max_depth;
  detail::WriterCore::run(*this, [&](auto& out) {
    return detail::render<false>(out, detail::Access::node(v), depth, max_depth);
  });
  return *this;
}

BoundedWriter& BoundedWriter::quoted_json(Value v) {
  const std::uint64_t max_depth = limits_.max_depth;
  detail::WriterCore::run(*this, [&](auto& out) {
    return out.put('"') && detail::render<true>(out, detail::Access::node(v), 0, max_depth) &&
           out.put('"');
  });
  return *this;
}

}  // namespace zu::json
