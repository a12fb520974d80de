// The archive's publication of a new file, whole, as one step of each backend: each knows
// what its own steps have already established about the file it creates.
#pragma once

#include <functional>
#include <string>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// publish_new_file publishes a new file under final_name in directory: create_file under
// staging_name, private_file (writable), `fill`, seal_file, sync, publish, then the
// flushes that make the rename durable; when anything fails before publish has
// succeeded, remove_staging, and the failure passes on. The NT backend runs exactly these
// calls; the POSIX one leaves out what they would ask again of objects it holds and has
// just checked (see there). Throws Rejected.
//
// REQUIRES: directory is open on an accepted file system, as every directory handle that
// locate, open_directory and create_directory give is.
void publish_new_file(const Handle& directory, const std::string& staging_name,
                      const std::string& final_name,
                      const std::function<void(const Handle& file)>& fill);

}  // namespace zu::archive_fs
