#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/capacity_tally.hpp"
#include "archive_fs/posix/listing.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {

void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes) {
  CapacityTally tally(max_entries, max_bytes);
  posix::Listing listing(directory);
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
