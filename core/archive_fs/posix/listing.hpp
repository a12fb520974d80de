// Listing the entries of a directory without moving the caller's descriptor.
#pragma once

#include <cstddef>
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
  // the last one; it throws Rejected when reading fails or the kernel's answer is
  // malformed. The view lasts until the next call.
  std::string_view next();

 private:
  // kBufferBytes is what one getdents64 fills: some seven hundred entries of the
  // archive's names.
  static constexpr std::size_t kBufferBytes = std::size_t{64} << 10;

  // own_ is the fresh descriptor, which the listing moves through. (open)
  Handle own_;
  std::uint64_t mount_ = 0;
  // buffer_ holds what the last getdents64 returned, from offset_ to filled_.
  std::unique_ptr<char[]> buffer_;
  std::size_t offset_ = 0;
  std::size_t filled_ = 0;
};

}  // namespace zu::archive_fs::posix
