#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {
namespace {

// denotes returns whether name in directory is, right now, the object described by file
// (a symbolic link of that name is never followed, so it never is).
bool denotes(const Handle& directory, const std::string& name, const posix::Info& file) {
  struct stat entry {};
  if (posix::retry([&] {
        return ::fstatat(directory.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW);
      }) != 0) {
    return false;
  }
  return posix::same_entry(entry, file);
}

}  // namespace

void sync(const Handle& handle) {
  posix::query(handle.get());
  require(posix::retry([&] { return ::fsync(handle.get()); }) == 0);
}

void publish(const Handle& directory, const Handle& file, const std::string& staging_name,
             const std::string& final_name) {
  checked_name(staging_name);
  checked_name(final_name);
  require(posix::query(directory.get()).directory);
  const posix::Info info = posix::query(file.get());
  require(!info.directory);
  // POSIX renames names, not open files: the checks on both sides make sure the name
  // moved is the file we hold and that it arrived.
  require(denotes(directory, staging_name, info));
  require(posix::retry([&] {
            return ::renameat2(directory.get(), staging_name.c_str(), directory.get(),
                               final_name.c_str(), RENAME_NOREPLACE);
          }) == 0);
  require(denotes(directory, final_name, info));
}

void finish_publication(const Handle& directory, const Handle& file) {
  sync(file);
  sync(directory);
}

void remove_staging(const Handle& directory, const Handle& file,
                    const std::string& staging_name) noexcept {
  try {
    checked_name(staging_name);
    const posix::Info info = posix::query(file.get());
    if (!info.directory && denotes(directory, staging_name, info)) {
      ::unlinkat(directory.get(), staging_name.c_str(), 0);
    }
  } catch (...) {
    // Nothing to report: the caller is already passing on the failure that brought it
    // here, and a leftover staging file is only counted, never read.
  }
}

}  // namespace zu::archive_fs
