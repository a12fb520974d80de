#include "archive_fs/sweep.hpp"

#include <unistd.h>

#include <string>
#include <vector>

#include "archive_fs/posix/listing.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/store_entry.hpp"

namespace zu::archive_fs {

std::uint64_t remove_entries(const Handle& directory, bool (*wanted)(std::string_view) noexcept) {
  // The names are gathered first: removing entries while the directory is being read
  // leaves it unspecified which later entries the listing still returns.
  std::vector<std::string> names;
  std::uint64_t mount = 0;
  {
    posix::Listing listing(directory);
    mount = listing.mount();
    for (std::string_view name = listing.next(); !name.empty(); name = listing.next()) {
      if (wanted(name)) names.emplace_back(name);
    }
  }
  std::uint64_t removed = 0;
  for (const std::string& name : names) {
    try {
      posix::Look seen;
      const Handle file = posix::open_store_entry(directory, mount, name, seen);
      // POSIX removes names, not open files: the name must still denote the file checked.
      if (posix::denotes(directory, name, seen.identity) &&
          ::unlinkat(directory.get(), name.c_str(), 0) == 0) {
        ++removed;
      }
    } catch (const Rejected&) {
      // Not of the store's shape: left for a person to look at.
    }
  }
  return removed;
}

}  // namespace zu::archive_fs
