// parse(): byte limit, nesting limit, strict read, duplicate members; the first failing
// check decides the result.
//
// The nesting verdict of the raw-byte pre-scan is, for text the reader accepts, the same
// as the parsed tree's: outside strings, the brackets of valid JSON are its containers.
// So the common path reads first and checks depth on the tree, in the same pass that
// looks for repeated names, and the pre-scan runs only where its verdict can differ:
// when the reader refuses the text, and before a duplicate member is reported (a deeper
// container may come later). The result is the same as running the checks in order.
#include <new>
#include <string>
#include <utility>

#include "allocator.hpp"
#include "duplicate_walk.hpp"
#include "nesting_scan.hpp"
#include "node.hpp"
#include "tree_check.hpp"
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

  // Without the in-place flag the reader copies the text into the document's own string
  // pool and leaves the input untouched, so casting away const is safe.
  yyjson_alc alc = detail::document_allocator();
  yyjson_read_err error{};
  yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(text.data()), text.size(), 0, &alc, &error);
  if (doc == nullptr) {
    if (!detail::nesting_within(text, limits.max_depth)) {
      return failure(ParseErrorCode::nesting_limit);
    }
    if (error.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    return failure(ParseErrorCode::invalid_json);
  }
  Document document = detail::Access::document(doc);
  yyjson_val* root = yyjson_doc_get_root(doc);

  switch (detail::check_tree(root, limits.max_depth)) {
    case detail::TreeVerdict::ok:
      return document;
    case detail::TreeVerdict::too_deep:
      return failure(ParseErrorCode::nesting_limit);
    case detail::TreeVerdict::duplicate:
      break;
  }
  if (!detail::nesting_within(text, limits.max_depth)) {
    return failure(ParseErrorCode::nesting_limit);
  }
  // The walk that names the member follows the reporting order, which differs from the
  // check's document order when several objects repeat names.
  auto pointer = detail::find_duplicate_member(root);
  ParseError error_record = failure(ParseErrorCode::duplicate_member);
  error_record.pointer = pointer ? std::move(*pointer) : std::string();
  error_record.document = std::move(document);
  return error_record;
}

}  // namespace zu::json
