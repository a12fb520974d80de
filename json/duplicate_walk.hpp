// The walk that finds repeated object member names in a parsed document.
#pragma once

#include <yyjson.h>

#include <optional>
#include <string>

namespace zu::json::detail {

// find_duplicate_member returns the RFC 6901 JSON Pointer of the first repeated member
// name, or nothing when every object's names are distinct. "First" follows a LIFO walk of
// containers: an object's own members are checked before its children, and the children
// of a container are visited last one first. Within one object the first name (in
// document order) that repeats an earlier one is reported.
//
// The walk is iterative (its depth costs heap, not stack) and linear in the document: the
// pointer is built only for the member it reports. Throws std::bad_alloc.
std::optional<std::string> find_duplicate_member(yyjson_val* root);

}  // namespace zu::json::detail
