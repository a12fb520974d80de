// The shortcut of this backend's revisit, apart, so that it can be held to the walk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/revisit.hpp"

namespace zu::archive_fs::posix {

// revisit_shortcut does what revisit does with one openat2 per path below the deepest
// directory the two share, when both paths are absolute and lie on one mount below it,
// and returns true when it has proven all that revisit_by_walking proves and read the key
// file into `contents`. It returns false, with `contents` empty (its buffer left for the
// caller's holder to wipe), whenever it cannot: the walk then decides. It throws Rejected
// only for paths that break the name rules, which the walk refuses as well.
bool revisit_shortcut(std::string_view store_path, std::string_view key_path,
                      const Admitted& admitted, std::uint64_t max_key_bytes,
                      std::string& contents);

}  // namespace zu::archive_fs::posix
