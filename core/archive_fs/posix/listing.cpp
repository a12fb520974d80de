#include "archive_fs/posix/listing.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs::posix {

Listing::Listing(const Handle& directory) {
  // Reading entries moves a descriptor's position, and the caller's handle must stay as
  // it was; hence a descriptor of our own.
  const Look own = accepted_look(directory.get());
  require(own.directory);
  mount_ = own.mount;
  const int fresh = retry([&] { return ::openat(directory.get(), ".", kDirectoryOpen); });
  require(fresh >= 0);
  stream_.reset(::fdopendir(fresh));
  if (!stream_) {
    ::close(fresh);
    throw Rejected{};
  }
  // The directory may have been removed or replaced meanwhile; such a listing is refused.
  // Both descriptors are open, so their identities tell the objects apart.
  const Look listed = look(::dirfd(stream_.get()));
  require(listed.directory && listed.identity == own.identity);
}

std::string_view Listing::next() {
  errno = 0;
  const dirent* entry = ::readdir(stream_.get());
  if (entry == nullptr) {
    require(errno == 0);
    return {};
  }
  return entry->d_name;
}

}  // namespace zu::archive_fs::posix
