// parse(): byte limit, nesting pre-scan, strict read, duplicate-member walk, in this
// order; the first failing step decides the result.
#include <new>
#include <string>
#include <utility>

#include "allocator.hpp"
#include "duplicate_walk.hpp"
#include "nesting_scan.hpp"
#include "node.hpp"
#include "zu/json/document.hpp"

namespace zu::json {
namespace {

ParseError failure(ParseErrorCode code) {
  switch (code) {
    case ParseErrorCode::byte_limit:
      return {code, {}, "JSON byte limit exceeded", {}};
    case ParseErrorCode::nesting_limit:
      return {code, {}, "JSON nesting limit exceeded", {}};
    case ParseErrorCode::duplicate_member:
      return {code, {}, "duplicate object member", {}};
    case ParseErrorCode::invalid_json:
      break;
  }
  return {ParseErrorCode::invalid_json, {}, "invalid JSON document", {}};
}

}  // namespace

std::variant<Document, ParseError> parse(std::string_view text, Limits limits) {
  if (text.size() > limits.max_bytes) return failure(ParseErrorCode::byte_limit);
  if (!detail::nesting_within(text, limits.max_depth)) {
    return failure(ParseErrorCode::nesting_limit);
  }

  // Without the in-place flag the reader copies the text into the document's own string
  // pool and leaves the input untouched, so casting away const is safe.
  yyjson_alc alc = detail::document_allocator();
  yyjson_read_err error{};
  yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(text.data()), text.size(), 0, &alc, &error);
  if (doc == nullptr) {
    if (error.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    return failure(ParseErrorCode::invalid_json);
  }
  Document document = detail::Access::document(doc);

  if (auto pointer = detail::find_duplicate_member(yyjson_doc_get_root(doc))) {
    ParseError error_record = failure(ParseErrorCode::duplicate_member);
    error_record.pointer = std::move(*pointer);
    error_record.document = std::move(document);
    return error_record;
  }
  return document;
}

}  // namespace zu::json
