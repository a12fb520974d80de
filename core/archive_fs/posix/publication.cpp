#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/publication_steps.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {

void sync(const Handle& handle) {
  static_cast<void>(posix::accepted_look(handle.get()));
  require(posix::retry([&] { return ::fsync(handle.get()); }) == 0);
}

void publish(const Handle& directory, const Handle& file, const std::string& staging_name,
             const std::string& final_name) {
  check_name(staging_name);
  check_name(final_name);
  require(posix::accepted_look(directory.get()).directory);
  // Only the identity is wanted of the file: the rename works on names in directory,
  // whose file system was just accepted.
  const posix::Look seen = posix::look(file.get());
  require(!seen.directory);
  // POSIX renames names, not open files: the checks on both sides make sure the name
  // moved is the file we hold and that it arrived.
  require(posix::denotes(directory, staging_name, seen.identity));
  require(posix::retry([&] {
            return ::renameat2(directory.get(), staging_name.c_str(), directory.get(),
                               final_name.c_str(), RENAME_NOREPLACE);
          }) == 0);
  require(posix::denotes(directory, final_name, seen.identity));
}

void finish_publication(const Handle& directory, const Handle& file) {
  sync(file);
  sync(directory);
}

void finish_synced_publication(const Handle& directory, const Handle& file) {
  // A file's name lives in its directory alone: the rename changed no byte of the file
  // and nothing a reader needs to find them (its data, size and blocks, flushed before the
  // rename), only its change time. Flushing the directory is all that is left to make
  // the publication durable; a second flush of the file would write its change time and,
  // on a journalling file system, wait for one more commit, guaranteeing nothing more.
  static_cast<void>(file);
  sync(directory);
}

void remove_staging(const Handle& directory, const Handle& file,
                    const std::string& staging_name) noexcept {
  try {
    check_name(staging_name);
    const posix::Look seen = posix::look(file.get());
    if (!seen.directory && posix::denotes(directory, staging_name, seen.identity)) {
      ::unlinkat(directory.get(), staging_name.c_str(), 0);
    }
  } catch (...) {
    // Nothing to report: the caller is already passing on the failure that brought it
    // here, and a leftover staging file is only counted, never read.
  }
}

}  // namespace zu::archive_fs
