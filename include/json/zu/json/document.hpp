// Strict JSON parsing under limits, and the owning Document.
//
// parse() accepts only strict RFC 8259 text (no comments, trailing commas, NaN or byte
// order mark; valid UTF-8) that fits the caller's byte and nesting limits, and rejects
// any object with two members of the same name, naming the offender by an RFC 6901 JSON
// Pointer:
//
//   auto parsed = zu::json::parse(R"({"a":1,"a":2})", {.max_bytes = 1024, .max_depth = 8});
//   if (auto* error = std::get_if<zu::json::ParseError>(&parsed))
//     std::cerr << error->message << " at " << error->pointer << '\n';  // ... at /a
//
// The facade has no defaults: every caller chooses both limits.
//
// Thread safety: a Document is immutable once parsed; its Values may be read from
// several threads at once. Moving or destroying a Document belongs to its one owner.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "zu/json/export.hpp"
#include "zu/json/value.hpp"

namespace zu::json {

// Limits bounds parsing and writing.
struct Limits {
  // max_bytes is, for parse(), the largest input accepted in bytes; for BoundedWriter,
  // the budget of the whole output string.
  std::uint64_t max_bytes = 0;
  // max_depth is the number of nested containers (arrays and objects) allowed; 0 allows
  // no container at all.
  std::uint64_t max_depth = 0;
};

namespace detail {
struct Doc;
}

// Document owns one parsed, immutable JSON document, or nothing (the empty Document).
// It is move-only; a moved-from Document is empty. Its memory is released through the
// allocator that made it, whichever library drops it.
class ZU_JSON_EXPORT Document {
 public:
  Document() noexcept = default;
  Document(Document&& other) noexcept;
  Document& operator=(Document&& other) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  ~Document();

  // root returns the root value, or the invalid Value for an empty Document.
  [[nodiscard]] Value root() const noexcept;

  // retained_bytes returns the heap bytes this Document holds: 0 when empty, and
  // 2^64 - 1 ("unknown") when the document was not made by the facade's own allocator or
  // its recorded sizes cannot be added up.
  [[nodiscard]] std::uint64_t retained_bytes() const noexcept;

 private:
  friend struct detail::Access;
  explicit Document(detail::Doc* doc) noexcept : doc_(doc) {}

  detail::Doc* doc_ = nullptr;  // (nullable) the reader's document
};

// ParseErrorCode says which check of parse() failed.
enum class ParseErrorCode : std::uint32_t {
  invalid_json = 0,      // "invalid JSON document"
  duplicate_member = 1,  // "duplicate object member"
  nesting_limit = 2,     // "JSON nesting limit exceeded"
  byte_limit = 3,        // "JSON byte limit exceeded"
};

// ParseError describes a rejected input. It is move-only because it may hold a Document.
struct ParseError {
  ParseErrorCode code = ParseErrorCode::invalid_json;
  // pointer is the RFC 6901 JSON Pointer of the repeated member for duplicate_member,
  // and empty for every other code.
  std::string pointer{};
  // message is the fixed text of the code (see ParseErrorCode).
  std::string message{};
  // document is, for duplicate_member only, the complete parsed document, so that a
  // caller that tolerates repeated members can still read it (get() returns the first of
  // equal-named members). It is empty for every other code.
  Document document{};
};

// parse reads `text` as one strict JSON document under `limits`. The checks run in this
// order and the first failure decides the result:
//   1. byte_limit when text.size() > limits.max_bytes;
//   2. nesting_limit when containers nest deeper than limits.max_depth, found by a scan
//      of the raw bytes, so a too-deep input is reported as such even when malformed;
//   3. invalid_json when the text is not strict RFC 8259 JSON (an empty text included);
//   4. duplicate_member for the first object found with a repeated member name: the
//      root's own members first, then later siblings' subtrees before earlier ones', and
//      within one object the first repeated name in document order.
// The text is copied; it need not outlive the call.
//
// Throws std::bad_alloc when memory runs out; every bad input is a ParseError.
//
// WARNING: a Document's memory is about 13 times the input size (see
// retained_size_bound). max_bytes is what bounds memory, so set it from what the caller
// can afford, not from what it expects to receive.
[[nodiscard]] ZU_JSON_EXPORT std::variant<Document, ParseError> parse(std::string_view text,
                                                                      Limits limits);

// retained_size_bound returns the facade's published upper bound on retained_bytes() of
// a Document parsed from n bytes: 13 * n + 280, saturating at 2^64 - 1.
[[nodiscard]] ZU_JSON_EXPORT std::uint64_t retained_size_bound(std::uint64_t n) noexcept;

// retained_size_contract returns the version of the rule of retained_size_bound, 1.
[[nodiscard]] ZU_JSON_EXPORT unsigned int retained_size_contract() noexcept;

}  // namespace zu::json
