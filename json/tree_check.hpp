// The check every parsed document passes on its way out of parse().
#pragma once

#include <yyjson.h>

#include <cstdint>

namespace zu::json::detail {

enum class TreeVerdict {
  ok,         // no container nests too deep and no object repeats a name
  too_deep,   // some container sits at nesting level max_depth or deeper
  duplicate,  // some object repeats a member name (nesting not fully checked)
};

// check_tree walks the document once in document order, visiting containers only, and
// gives its verdict. For a document the reader accepted, its nesting verdict is exactly
// the raw-byte pre-scan's, since brackets of valid JSON outside strings are its
// containers; that is what lets parse() skip the pre-scan on the common path. It stops at
// the first finding, so after `duplicate` a deeper container may still exist.
TreeVerdict check_tree(yyjson_val* root, std::uint64_t max_depth);

// nests_too_deep returns true when some container of the subtree at `root` sits at
// nesting level max_depth or deeper, counting `root` as level 0.
bool nests_too_deep(yyjson_val* root, std::uint64_t max_depth);

}  // namespace zu::json::detail
