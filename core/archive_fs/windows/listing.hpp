// Listing the entries of a directory through a handle of the listing's own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive_fs/windows/records.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

// Listing reads the entry names of a directory, one buffer at a time, through a handle
// reopened by the directory's identifier, and closes it when it ends. A plain owner,
// used by one thread.
class Listing {
 public:
  // Listing reopens directory for listing; it throws Rejected unless directory is an open
  // directory and the reopened handle is the same one.
  explicit Listing(const Handle& directory);

  // next replaces names with the names of the next buffer of records ("." and ".."
  // left out) and returns true, or returns false once the directory has no more
  // entries. It throws Rejected when the listing call fails otherwise or a buffer is
  // malformed.
  bool next(std::vector<std::wstring>& names);

 private:
  Handle handle_;
  // restarted_ tells whether the first call, which starts from the beginning, was made.
  bool restarted_ = false;
  // buffer_ is the one buffer every call fills. (nonnull)
  std::unique_ptr<ListingBuffer> buffer_;
};

}  // namespace zu::archive_fs::windows
