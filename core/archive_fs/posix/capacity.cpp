#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/capacity_tally.hpp"
#include "archive_fs/posix/listing.hpp"
#include "archive_fs/posix/store_entry.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {

void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes) {
  CapacityTally tally(max_entries, max_bytes);
  posix::Listing listing(directory);
  posix::StoreScan scan(directory, listing.mount());
  for (std::string_view name = listing.next(); !name.empty(); name = listing.next()) {
    if (name == "." || name == "..") continue;
    tally.add(scan.size(std::string(name)));
  }
  tally.admit(incoming_bytes);
}

}  // namespace zu::archive_fs
