// The buffer a whole-file read fills, sized the same way on every backend.
#pragma once

#include <cstdint>
#include <string>

#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs {

// read_buffer returns a string of before.size bytes for a read of the file before
// describes. It throws Rejected when that size is negative, exceeds max_size or cannot
// be held in memory at all.
std::string read_buffer(const Status& before, std::uint64_t max_size);

}  // namespace zu::archive_fs
