// Making a new sealed file appear whole or not at all: records in the store, and the key
// file beside it.
#pragma once

#include <functional>
#include <string>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive {

// publish_file creates a private file under a fresh staging name in `directory`, has
// `fill` write its contents, seals and flushes it, and renames it to `name`, never
// replacing an entry; then it flushes the file and the directory.
//
// Until the rename has succeeded every failure, memory exhaustion included, removes the
// staging file again; after it nothing is undone. A process killed before the rename may
// leave the staging file behind, never a partial file under `name`. Throws
// archive_fs::Rejected.
void publish_file(const archive_fs::Handle& directory, const std::string& name,
                  const std::function<void(const archive_fs::Handle& file)>& fill);

}  // namespace zu::archive
