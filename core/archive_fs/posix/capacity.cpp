#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/capacity_tally.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {
namespace {

// Listing owns one directory stream and closes it (with its descriptor) when it ends.
class Listing {
 public:
  explicit Listing(const Handle& directory) {
    // A fresh descriptor of the same directory: reading entries moves a descriptor's
    // position, and the caller's handle must stay as it was.
    const posix::Info own = posix::query(directory.get());
    require(own.directory);
    const int fresh =
        posix::retry([&] { return ::openat(directory.get(), ".", posix::kDirectoryOpen); });
    require(fresh >= 0);
    stream_ = ::fdopendir(fresh);
    if (stream_ == nullptr) {
      ::close(fresh);
      throw Rejected{};
    }
    const posix::Info listed = posix::query(::dirfd(stream_));
    require(listed.directory && same_file(own.status, listed.status));
  }
  ~Listing() {
    if (stream_ != nullptr) ::closedir(stream_);
  }
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;

  // next returns the next entry's name, or an empty view after the last one. The view
  // lasts until the next call.
  std::string_view next() {
    errno = 0;
    const dirent* entry = ::readdir(stream_);
    if (entry == nullptr) {
      require(errno == 0);
      return {};
    }
    return entry->d_name;
  }

 private:
  DIR* stream_ = nullptr;
};

}  // namespace

void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes) {
  CapacityTally tally(max_entries, max_bytes);
  Listing listing(directory);
  for (std::string_view name = listing.next(); !name.empty(); name = listing.next()) {
    if (name == "." || name == "..") continue;
    // Each entry is opened as entry_status opens it (so a name the archive never makes,
    // a link, a FIFO, a device or a sub-directory throws), then must be private in one
    // of the two shapes a file of the store can have.
    const Handle file = open_file(directory, std::string(name), false);
    const posix::Info info = posix::query(file.get());
    require(!info.directory && info.links == 1);
    require(info.mode == posix::kSealedMode || info.mode == posix::kWritableMode);
    posix::check_private(file.get(), info, info.mode);
    tally.add(status(file).size);
  }
  tally.admit(incoming_bytes);
}

}  // namespace zu::archive_fs
