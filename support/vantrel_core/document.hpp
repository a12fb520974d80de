// Documents and nodes as the host JSON type allocates them.
#pragma once

#include <memory>

#include <yyjson.h>

namespace vantrel::detail {

// new_document returns an empty yyjson mutable document owned by a shared pointer that
// frees it, or throws std::bad_alloc.
std::shared_ptr<yyjson_mut_doc> new_document();

// checked returns `node`, or throws std::bad_alloc when it is null: every yyjson node
// constructor reports a failed allocation that way.
yyjson_mut_val* checked(yyjson_mut_val* node);

}  // namespace vantrel::detail
