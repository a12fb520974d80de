// Comparing two open objects by identity alone, for checks that run on handles this
// namespace has already accepted and need nothing else of them.
#pragma once

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// same_object returns whether a and b are the same file or directory. Throws Rejected
// when either cannot be queried.
bool same_object(const Handle& a, const Handle& b);

}  // namespace zu::archive_fs
