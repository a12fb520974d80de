// The buffer a whole-file read fills, sized the same way on every backend.
#pragma once

#include <cstdint>
#include <string>

#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs {

// read_buffer sizes `bytes` to before.size for a read of the file before describes,
// keeping its buffer when that has room, so that a caller's wiping holder still owns
// every byte read. It throws Rejected when that size is negative, exceeds max_size or
// cannot be held in memory at all.
void read_buffer(const Status& before, std::uint64_t max_size, std::string& bytes);

}  // namespace zu::archive_fs
