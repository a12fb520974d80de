// Writing JSON under a byte budget, and quoting.
//
// BoundedWriter appends compact JSON (no whitespace, member order kept) to a caller's
// string and stops for good the moment the next piece would pass the budget or the
// nesting limit. With a null output string it only measures.
//
//   std::string out;
//   zu::json::BoundedWriter writer({.max_bytes = 256, .max_depth = 8}, &out);
//   writer.raw("{").quoted("name").raw(":").value(doc.root(), 0).raw("}");
//   if (!writer.ok()) { /* discard out */ }
//
// Thread safety: a writer and its output string belong to one thread. quote() only reads
// its input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zu/json/document.hpp"
#include "zu/json/export.hpp"
#include "zu/json/value.hpp"

namespace zu::json {

namespace detail {
struct WriterCore;
}

// BoundedWriter appends JSON text to an output string under `limits`: max_bytes is the
// budget of the whole string (including what it held before), max_depth the container
// nesting allowed in value() and quoted_json(). It owns nothing; keep it on the stack.
//
// Every operation returns the writer so calls chain, and does nothing once ok() is
// false. Each piece (punctuation, a whole string literal, a scalar) is claimed against
// the budget before it is appended, so after a budget failure the output ends at a token
// boundary. After a rendering failure (invalid UTF-8) inside quoted() it may end inside
// a string literal.
//
// WARNING: once ok() is false the output is incomplete JSON; callers must discard it.
class ZU_JSON_EXPORT BoundedWriter {
 public:
  // BoundedWriter starts counting at out->size(), so the budget covers text already in
  // the string; it starts failed when that is already more than limits.max_bytes. With
  // `out` null it measures only, starting at 0.
  BoundedWriter(Limits limits, std::string* out) noexcept;

  // ok returns false once any operation has failed; it never turns true again.
  [[nodiscard]] bool ok() const noexcept { return good_; }

  // used returns the bytes counted so far, including what `out` held at the start.
  [[nodiscard]] std::uint64_t used() const noexcept { return used_; }

  // raw appends `text` unchanged, if it fits.
  BoundedWriter& raw(std::string_view text);

  // quoted appends `text` as a JSON string literal. The whole literal's size is claimed
  // before anything is written. It fails on invalid UTF-8, in measuring mode too.
  BoundedWriter& quoted(std::string_view text);

  // value appends the compact JSON text of `v`, byte-identical to v.dump() when the
  // budget and depth suffice; parsed again, it gives back every number as the same kind
  // ("-0" stays "-0"). `depth` is the nesting level of v; callers pass 0. It fails on the
  // invalid Value and on containers nested max_depth deep.
  BoundedWriter& value(Value v, std::uint64_t depth);

  // quoted_json appends one JSON string literal whose content is the compact JSON text
  // of `v`. It differs from quote(v.dump()) only in writing the hexadecimal digits of
  // escaped control characters in lower case.
  BoundedWriter& quoted_json(Value v);

 private:
  friend struct detail::WriterCore;

  // claim counts n more bytes, or fails the writer when they do not fit.
  bool claim(std::uint64_t n) noexcept {
    if (!good_) return false;
    if (n > limits_.max_bytes - used_) {
      good_ = false;
      return false;
    }
    used_ += n;
    return true;
  }

  Limits limits_;
  std::string* out_;     // (nullable) null means measuring only
  std::uint64_t used_;   // bytes counted so far; <= limits_.max_bytes while good_
  bool good_;
};

// quote returns the JSON string literal of `text`, or the empty string when `text` is not
// valid UTF-8 (or has null data and a non-zero length). Throws std::bad_alloc when memory
// runs out.
[[nodiscard]] ZU_JSON_EXPORT std::string quote(std::string_view text);

}  // namespace zu::json
