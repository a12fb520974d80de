#include "archive_fs/windows/records.hpp"

#include <cstdint>
#include <cstring>
#include <utility>

#include "archive_fs/require.hpp"
#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {
namespace {

// Where the fields the walk reads lie in a record.
constexpr std::size_t kNextOffsetAt = offsetof(FILE_ID_BOTH_DIR_INFO, NextEntryOffset);
constexpr std::size_t kNameLengthAt = offsetof(FILE_ID_BOTH_DIR_INFO, FileNameLength);
constexpr std::size_t kNameAt = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
static_assert(kNextOffsetAt == 0 && kNameLengthAt == 60 && kNameAt == kRecordHeadBytes);

// read_u32 reads the 32-bit field at offset; memcpy, since nothing in the buffer is
// trusted to be aligned.
std::uint32_t read_u32(const ListingBuffer& buffer, std::size_t offset) noexcept {
  std::uint32_t value = 0;
  std::memcpy(&value, buffer.bytes.data() + offset, sizeof(value));
  return value;
}

}  // namespace

std::vector<std::wstring> record_names(const ListingBuffer& buffer) {
  std::vector<std::wstring> names;
  std::size_t offset = 0;
  for (;;) {
    require(offset <= kLastRecordOffset);
    const std::uint32_t name_bytes = read_u32(buffer, offset + kNameLengthAt);
    require(name_bytes % sizeof(wchar_t) == 0 && name_bytes <= kLastRecordOffset - offset);
    std::wstring name(name_bytes / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), buffer.bytes.data() + offset + kNameAt, name_bytes);
    if (name != L"." && name != L"..") names.push_back(std::move(name));

    const std::uint32_t next = read_u32(buffer, offset + kNextOffsetAt);
    if (next == 0) return names;
    // A next record overlapping this one could make the walk go round forever.
    require(next >= kRecordHeadBytes + name_bytes);
    require(next < kListingBytes - offset);
    offset += next;
  }
}

}  // namespace zu::archive_fs::windows
