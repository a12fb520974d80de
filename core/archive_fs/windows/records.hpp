// The walk over one buffer of directory records (FILE_ID_BOTH_DIR_INFO) as the listing
// call fills it, judged on the bytes alone so that it can be checked on buffers built in
// memory as well as on those the system returns.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace zu::archive_fs::windows {

// kListingBytes is the size of the one buffer a listing is read into.
inline constexpr std::size_t kListingBytes = 65'536;
// kRecordHeadBytes is the fixed part of a record, up to its name.
inline constexpr std::size_t kRecordHeadBytes = 104;
// kLastRecordOffset is the furthest offset at which a whole fixed part still fits.
inline constexpr std::size_t kLastRecordOffset = kListingBytes - kRecordHeadBytes;
static_assert(kLastRecordOffset == 65'432);

// ListingBuffer is the buffer, aligned as the records' 64-bit members need.
struct alignas(8) ListingBuffer {
  std::array<unsigned char, kListingBytes> bytes{};
};

// record_names returns the names of the records in buffer, in order, without "." and
// "..". It throws Rejected for a record offset above kLastRecordOffset, a name length
// that is odd or runs past the end of the buffer, and a next-record offset smaller than
// the record or leading out of the buffer. A next-record offset of 0 ends the walk.
std::vector<std::wstring> record_names(const ListingBuffer& buffer);

}  // namespace zu::archive_fs::windows
