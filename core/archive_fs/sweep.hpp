// Removing leftovers from a store: the staging files of writers that died before they
// could publish or remove them.
#pragma once

#include <cstdint>
#include <string_view>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// remove_entries removes every entry of directory whose name `wanted` accepts and that
// has the shape a capacity scan accepts (a private regular file with one link, sealed or
// writable), and returns how many it removed. Other entries, and wanted ones of any
// other shape, are left alone. Throws Rejected when the directory cannot be listed.
//
// REQUIRES: no writer is between creating and publishing a wanted entry (the caller
// holds the store lock).
std::uint64_t remove_entries(const Handle& directory, bool (*wanted)(std::string_view) noexcept);

}  // namespace zu::archive_fs
