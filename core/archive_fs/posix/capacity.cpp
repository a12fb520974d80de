#include <cstdint>
#include <string_view>

#include "archive_fs/capacity_tally.hpp"
#include "archive_fs/list_memory.hpp"
#include "archive_fs/posix/listing.hpp"
#include "archive_fs/posix/store_entry.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {

namespace {

void scan(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
          std::uint64_t incoming_bytes, ListMemory* memory) {
  CapacityTally tally(max_entries, max_bytes);
  posix::Listing listing(directory);
  posix::StoreScan entries(directory, listing.mount(), memory);
  for (std::string_view name = listing.next(); !name.empty(); name = listing.next()) {
    if (name == "." || name == "..") continue;
    tally.add(entries.size(name));
  }
  tally.admit(incoming_bytes);
}

}  // namespace

void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes) {
  scan(directory, max_entries, max_bytes, incoming_bytes, nullptr);
}

void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes, ListMemory& memory) {
  scan(directory, max_entries, max_bytes, incoming_bytes, &memory);
}

}  // namespace zu::archive_fs
