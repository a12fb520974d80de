// Publication of records, flushing, capacity of the store, and the independence of the
// key file from the store.
//
// A record becomes visible in one step and durable in order:
//
//   fs::Handle staging = fs::create_file(store, staging_name);
//   try {
//     fs::private_file(staging, false);
//     fs::write_all(staging, record);
//     fs::seal_file(staging);
//     fs::sync(staging);
//     fs::publish(store, staging, staging_name, final_name);
//   } catch (...) {
//     fs::remove_staging(store, staging, staging_name);
//     throw;
//   }
//   fs::finish_publication(store, staging);  // after publish nothing is undone
//
// Thread safety: every operation may be called from any thread. Writers of one store
// serialise themselves (StoreLock across processes, their own mutex within one).
#pragma once

#include <cstdint>
#include <string>

#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/export.hpp"

namespace zu::archive_fs {

// sync flushes an open regular file or directory to stable storage: a file's contents,
// or a directory's entries (after a create or a rename in it).
ZU_CORE_EXPORT void sync(const Handle& handle);

// publish gives the open file the name final_name in directory, in one atomic step and
// never replacing an entry: it throws when final_name exists, and then leaves the file
// under its staging name. On POSIX systems staging_name must be the name under which file
// currently sits in directory; publish throws when it is not, or when after the rename
// final_name does not denote file. On Windows the rename moves the open file itself, so
// staging_name is not consulted and final_name denotes file by construction.
//
// WARNING: the new name is visible at once but durable only after finish_publication.
//
// WARNING: on POSIX systems a rename moves a name, not an open file, so publish checks
// the staging entry, renames it by name, and checks the result. Another writer of
// directory that swaps a file of its own in under staging_name between the check and the
// rename makes publish throw, but leaves that file under final_name. Only the store's
// owner or root can write a private store, and either could place such a file at any
// time anyway; the archive refuses a record that does not authenticate when it reads it.
ZU_CORE_EXPORT void publish(const Handle& directory, const Handle& file,
                            const std::string& staging_name, const std::string& final_name);

// finish_publication makes a publication durable: sync(file), then sync(directory).
ZU_CORE_EXPORT void finish_publication(const Handle& directory, const Handle& file);

// remove_staging removes the open file's staging entry. On POSIX systems it removes the
// entry staging_name from directory at once when it still denotes the open file, and
// does nothing otherwise; on Windows it marks the open file itself for deletion, and its
// entry disappears when the file's last handle closes. It never throws; the caller is
// already handling a failure and has nothing better to do with a second one.
ZU_CORE_EXPORT void remove_staging(const Handle& directory, const Handle& file,
                                   const std::string& staging_name) noexcept;

// check_capacity throws unless every entry of directory is a private regular file with
// one link (sealed, or writable as a staging file still is), fewer than max_entries
// entries exist, and their sizes plus incoming_bytes do not exceed max_bytes. So it
// passes only when one more entry of incoming_bytes fits. A sub-directory, a symbolic
// link, a FIFO, a device, a hard-linked or foreign file, or a name the archive would
// never make throws just like a full store; the caller cannot tell these apart.
//
// The directory is listed through a fresh handle of its own; the listing position of
// directory is left alone.
//
// WARNING: the cost grows with the number of entries: each is checked (on Linux 6.13
// and later with two calls by name and without opening it; elsewhere it is opened).
// REQUIRES: max_entries is at least 1 (0 throws: no store can hold fewer than 0).
ZU_CORE_EXPORT void check_capacity(const Handle& directory, std::uint64_t max_entries,
                                   std::uint64_t max_bytes, std::uint64_t incoming_bytes);

// independent_key_parent throws when store_directory is the directory that contains the
// key file (key_location.parent) or any directory above it on the key's path (one of
// key_location.ancestors). A key file in a directory beside the store passes.
ZU_CORE_EXPORT void independent_key_parent(const Handle& store_directory,
                                           const Location& key_location);

}  // namespace zu::archive_fs
