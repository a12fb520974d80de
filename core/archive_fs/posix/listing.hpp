// Listing the entries of a directory without moving the caller's descriptor.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// Listing reads the entry names of a directory through a fresh descriptor of its own,
// verified to be the same directory, and closes it when it ends. A plain owner, used by
// one thread.
class Listing {
 public:
  // Listing opens directory afresh; it throws Rejected unless directory is an open
  // directory on an accepted file system and the fresh descriptor is the same one.
  explicit Listing(const Handle& directory);

  // mount returns the mount the directory lies on.
  [[nodiscard]] std::uint64_t mount() const noexcept { return mount_; }

  // next returns the next entry's name ("." and ".." included), or an empty view after
  // the last one; it throws Rejected when reading fails. The view lasts until the next
  // call.
  std::string_view next();

 private:
  struct Close {
    void operator()(DIR* stream) const noexcept { ::closedir(stream); }
  };
  // stream_ owns the directory stream and its descriptor from the moment it exists, so a
  // check that fails later in the constructor still closes it. (nonnull once constructed)
  std::unique_ptr<DIR, Close> stream_;
  std::uint64_t mount_ = 0;
};

}  // namespace zu::archive_fs::posix
