// BoundedWriter: budget accounting, string literals and the iterative value renderer.
#include <vector>

#include "node.hpp"
#include "render.hpp"
#include "zu/json/writer.hpp"

namespace zu::json {
namespace detail {

// WriterCore holds the writer's algorithms; it is the writer's friend so that they can
// live here, beside the helpers they use, rather than in the public header.
struct WriterCore {
  static void fail(BoundedWriter& w) noexcept { w.good_ = false; }

  static void put(BoundedWriter& w, std::string_view text) {
    if (w.out_ != nullptr) w.out_->append(text);
  }

  static bool piece(BoundedWriter& w, std::string_view text) {
    if (!w.claim(text.size())) return false;
    put(w, text);
    return true;
  }

  static void quoted(BoundedWriter& w, std::string_view text);
  static void embedded_string(BoundedWriter& w, std::string_view text);
  static void render(BoundedWriter& w, yyjson_val* root, std::uint64_t depth, bool embedded);
};

void WriterCore::quoted(BoundedWriter& w, std::string_view text) {
  if (!w.good_) return;
  if (!w.claim(2)) return;  // the two quotes
  bool ascii = false;
  const std::uint64_t left = w.limits_.max_bytes - w.used_;
  const std::uint64_t cost = plain_literal_cost(text, left, ascii);
  if (cost > left) return fail(w);
  w.used_ += cost;

  if (ascii) {
    if (w.out_ != nullptr) {
      w.out_->push_back('"');
      append_ascii_literal_body(text, *w.out_);
      w.out_->push_back('"');
    }
    return;
  }

  // Text with multi-byte characters is rendered by the reader library's writer, which
  // also validates it. Measuring runs the same chunks, so it refuses exactly what
  // writing refuses.
  if (w.out_ != nullptr) w.out_->push_back('"');
  constexpr std::size_t kChunk = 4096;
  while (!text.empty()) {
    std::size_t n = std::min(text.size(), kChunk);
    if (n < text.size()) {
      // Never split a character: back off while the next byte continues one.
      while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
      if (n == 0) return fail(w);
    }
    if (!render_literal_chunk(text.substr(0, n), w.out_)) return fail(w);
    text.remove_prefix(n);
  }
  if (w.out_ != nullptr) w.out_->push_back('"');
}

void WriterCore::embedded_string(BoundedWriter& w, std::string_view text) {
  if (!piece(w, "\\\"")) return;
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view escape = embedded_escape(static_cast<unsigned char>(text[i]));
    if (escape.empty()) continue;
    if (i > run && !piece(w, text.substr(run, i - run))) return;
    if (!piece(w, escape)) return;
    run = i + 1;
  }
  if (text.size() > run && !piece(w, text.substr(run))) return;
  piece(w, "\\\"");
}

namespace {

// One open container of the renderer.
struct Level {
  yyjson_val* next;         // (nullable) the next element, or the next member's key
  std::size_t remaining;    // elements or members not yet written
  bool object;
  bool first;
};

// A stack of open containers that lives on the machine stack for ordinary depths and
// spills to the heap only for deep documents, so rendering never recurses.
class LevelStack {
 public:
  bool empty() const noexcept { return size_ == 0; }
  std::size_t size() const noexcept { return size_; }
  Level& top() noexcept { return size_ <= kInline ? inline_[size_ - 1] : spill_[size_ - kInline - 1]; }
  void push(const Level& level) {
    if (size_ < kInline) {
      inline_[size_] = level;
    } else {
      spill_.push_back(level);
    }
    ++size_;
  }
  void pop() noexcept {
    if (size_ > kInline) spill_.pop_back();
    --size_;
  }

 private:
  static constexpr std::size_t kInline = 32;
  Level inline_[kInline];
  std::vector<Level> spill_;
  std::size_t size_ = 0;
};

}  // namespace

void WriterCore::render(BoundedWriter& w, yyjson_val* root, std::uint64_t depth, bool embedded) {
  if (!w.good_) return;
  if (root == nullptr) return fail(w);
  LevelStack stack;

  // write_one writes a scalar or string, or opens a container; false stops the render.
  auto write_one = [&](yyjson_val* node, std::uint64_t at_depth) -> bool {
    if (unsafe_yyjson_is_str(node)) {
      const std::string_view text(unsafe_yyjson_get_str(node), unsafe_yyjson_get_len(node));
      if (embedded) {
        embedded_string(w, text);
      } else {
        quoted(w, text);
      }
      return w.good_;
    }
    if (unsafe_yyjson_is_ctn(node)) {
      if (at_depth >= w.limits_.max_depth) {
        fail(w);
        return false;
      }
      const bool object = unsafe_yyjson_is_obj(node);
      if (!piece(w, object ? "{" : "[")) return false;
      stack.push({unsafe_yyjson_get_first(node), unsafe_yyjson_get_len(node), object, true});
      return true;
    }
    char buffer[kScalarBuffer];
    const std::size_t n = render_scalar(node, buffer);
    if (n == 0) {
      fail(w);
      return false;
    }
    return piece(w, {buffer, n});
  };

  if (!write_one(root, depth)) return;
  while (!stack.empty()) {
    Level& level = stack.top();
    if (level.remaining == 0) {
      const bool object = level.object;
      stack.pop();
      if (!piece(w, object ? "}" : "]")) return;
      continue;
    }
    if (!level.first && !piece(w, ",")) return;
    level.first = false;
    --level.remaining;
    yyjson_val* node = level.next;
    if (level.object) {
      level.next = next_sibling(node + 1);
      const std::string_view key(unsafe_yyjson_get_str(node), unsafe_yyjson_get_len(node));
      if (embedded) {
        embedded_string(w, key);
      } else {
        quoted(w, key);
      }
      if (!w.good_ || !piece(w, ":")) return;
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

bool BoundedWriter::claim(std::uint64_t n) noexcept {
  if (!good_) return false;
  if (n > limits_.max_bytes - used_) {
    good_ = false;
    return false;
  }
  used_ += n;
  return true;
}

BoundedWriter& BoundedWriter::raw(std::string_view text) {
  detail::WriterCore::piece(*this, text);
  return *this;
}

BoundedWriter& BoundedWriter::quoted(std::string_view text) {
  detail::WriterCore::quoted(*this, text);
  return *this;
}

BoundedWriter& BoundedWriter::value(Value v, std::uint64_t depth) {
  detail::WriterCore::render(*this, detail::Access::node(v), depth, false);
  return *this;
}

BoundedWriter& BoundedWriter::quoted_json(Value v) {
  if (!detail::WriterCore::piece(*this, "\"")) return *this;
  detail::WriterCore::render(*this, detail::Access::node(v), 0, true);
  detail::WriterCore::piece(*this, "\"");
  return *this;
}

}  // namespace zu::json
