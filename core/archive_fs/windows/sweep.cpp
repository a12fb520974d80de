#include "archive_fs/sweep.hpp"

#include <string>
#include <vector>

#include "archive_fs/windows/disposition.hpp"
#include "archive_fs/windows/listing.hpp"
#include "archive_fs/windows/store_entry.hpp"
#include "archive_fs/windows/text.hpp"

namespace zu::archive_fs {
namespace {

// is_wanted returns whether wanted accepts the UTF-8 form of name; a name without one
// (a lone surrogate) is never an entry the archive made.
bool is_wanted(const std::wstring& name, bool (*wanted)(std::string_view) noexcept) {
  try {
    return wanted(windows::narrow(name));
  } catch (const Rejected&) {
    return false;
  }
}

}  // namespace

std::uint64_t remove_entries(const Handle& directory, bool (*wanted)(std::string_view) noexcept) {
  // The names are gathered first: removing entries while the directory is being read
  // leaves it unspecified which later entries the listing still returns.
  std::vector<std::wstring> doomed;
  {
    windows::Listing listing(directory);
    std::vector<std::wstring> names;
    while (listing.next(names)) {
      for (std::wstring& name : names) {
        if (is_wanted(name, wanted)) doomed.push_back(std::move(name));
      }
    }
  }
  std::uint64_t removed = 0;
  for (const std::wstring& name : doomed) {
    try {
      // Opened with DELETE from the start, so the file checked is the file removed. The
      // open fails while anyone else holds the file, since nobody shares delete access.
      Status entry;
      const Handle file =
          windows::open_store_entry(directory, name, windows::kRemoveFileRow, entry);
      if (windows::mark_for_deletion(file.get())) ++removed;
    } catch (const Rejected&) {
      // Not of the store's shape, or in use: left for a person to look at.
    }
  }
  return removed;
}

}  // namespace zu::archive_fs
