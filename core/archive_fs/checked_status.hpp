// Checks and status queries folded together, for callers that check an object and then
// need its status: one query of the object serves both, where separate calls would each
// query it again.
#pragma once

#include <cstdint>
#include <string>

#include "archive_fs/choices.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/private.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs {

// Shape is the state of a private file that a check asks for: still writable, as a file
// being filled is, or sealed read-only.
enum class Shape { writable, sealed };

// open_file is the public open_file with its choice named: Missing::allowed returns an
// empty Handle for a name that does not exist, where Missing::refused throws.
inline Handle open_file(const Handle& parent, const std::string& name, Missing missing) {
  return open_file(parent, name, missing == Missing::allowed);
}

// private_file is the public private_file with its choice named: the shape the file
// must have.
inline void private_file(const Handle& file, Shape shape) {
  private_file(file, shape == Shape::sealed);
}

// private_directory_status does what private_directory does and returns status(directory)
// as the same query saw it.
Status private_directory_status(const Handle& directory);

// private_file_status does what private_file does for `shape` and returns status(file) as
// the same query saw it.
Status private_file_status(const Handle& file, Shape shape);

// read_all_since does what read_all does for a regular file whose status the caller has
// just taken (`before`, from private_file_status of the same handle): that status stands
// for read_all's first query.
//
// REQUIRES: before describes the object behind file itself, taken through file.
std::string read_all_since(const Handle& file, std::uint64_t max_size, const Status& before);

// read_all_since reads as the call above does into `bytes`, reusing its buffer where it
// has room, for a caller whose holder must own every byte read (key bytes), also when a
// check after the read throws.
void read_all_since(const Handle& file, std::uint64_t max_size, const Status& before,
                    std::string& bytes);

// require_still_sealed does what entry_status(directory, name) compared by unchanged with
// `seen`, then private_file(file, true), do together: it throws unless name in directory
// still denotes file, which is still a private sealed regular file with one link,
// unchanged since `seen`.
//
// REQUIRES: seen was taken through file (private_file_status).
void require_still_sealed(const Handle& directory, const std::string& name, const Handle& file,
                          const Status& seen);

}  // namespace zu::archive_fs
