#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/created.hpp"
#include "archive_fs/posix/ownership.hpp"
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

namespace {

// flush is fsync of a descriptor already known to be a file or directory on an accepted
// file system: sync without the look that tells which.
void flush(const Handle& handle) {
  require(posix::retry([&] { return ::fsync(handle.get()); }) == 0);
}

// seal_created is seal_file for the file create_private_file made: its type is known, so
// only the chmod and the check of the sealed shape remain.
void seal_created(const Handle& file) {
  require(posix::retry([&] { return ::fchmod(file.get(), posix::kSealedMode); }) == 0);
  const posix::Look sealed = posix::look(file.get());
  require(!sealed.directory && sealed.links == 1);
  posix::check_private(file.get(), sealed, posix::kSealedMode);
}

}  // namespace

// The calls of create_file, private_file, seal_file, sync, publish and finish_publication,
// less what they would ask again of objects held open and just checked, which the kernel
// answers the same way for as long as they stay open:
// - private_file(writable) after the create: create_private_file made the file with
//   O_EXCL, a regular file with one link, set its mode exactly and dropped any list it
//   inherited; only its owner or the superuser could change that since, and the seal
//   checks owner, mode, links and lists again before anything is flushed or named.
// - the looks in seal_file, sync and publish that tell a file from a directory and judge
//   its file system: the staging descriptor is the regular file made on the directory's
//   file system, and the directory was accepted when it was opened (a descriptor never
//   moves to another file system).
// - the second flush of the file after the rename: a file's name lives in its directory
//   alone, so the rename changed no byte of the file and nothing a reader needs to find
//   them (its data, size and blocks, flushed before), only its change time; flushing the
//   directory is all that makes the publication durable, where a second flush of the
//   file would, on a journalling file system, wait for one more commit for nothing.
void publish_new_file(const Handle& directory, const std::string& staging_name,
                      const std::string& final_name,
                      const std::function<void(const Handle& file)>& fill) {
  const posix::CreatedFile staging = posix::create_private_file(directory, staging_name);
  try {
    fill(staging.handle);
    seal_created(staging.handle);
    flush(staging.handle);
    check_name(final_name);
    // POSIX renames names, not open files: the checks on both sides make sure the name
    // moved is the file we hold and that it arrived.
    require(posix::denotes(directory, staging_name, staging.look.identity));
    require(posix::retry([&] {
              return ::renameat2(directory.get(), staging_name.c_str(), directory.get(),
                                 final_name.c_str(), RENAME_NOREPLACE);
            }) == 0);
    require(posix::denotes(directory, final_name, staging.look.identity));
  } catch (...) {
    remove_staging(directory, staging.handle, staging_name);
    throw;
  }
  flush(directory);
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
