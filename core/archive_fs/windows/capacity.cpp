#include <cstdint>
#include <string>
#include <vector>

#include "archive_fs/capacity_tally.hpp"
#include "archive_fs/list_memory.hpp"
#include "archive_fs/windows/listing.hpp"
#include "archive_fs/windows/store_entry.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {

void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes) {
  CapacityTally tally(max_entries, max_bytes);
  windows::Listing listing(directory);
  std::vector<std::wstring> names;
  while (listing.next(names)) {
    for (const std::wstring& name : names) {
      // Each entry is opened relative to the caller's handle, not the listing's.
      Status entry;
      const Handle file =
          windows::open_store_entry(directory, name, windows::kOpenFileRow, entry);
      tally.add(entry.size);
    }
  }
  tally.admit(incoming_bytes);
}

// NTFS keeps a change time too, but whether every change of a security descriptor moves
// it has not been shown here, so each scan reads every entry's list.
void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes, ListMemory& /*memory*/) {
  check_capacity(directory, max_entries, max_bytes, incoming_bytes);
}

}  // namespace zu::archive_fs
