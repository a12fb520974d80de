#include "archive_fs/capacity_tally.hpp"

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

CapacityTally::CapacityTally(std::uint64_t max_entries, std::uint64_t max_bytes)
    : max_entries_(max_entries), max_bytes_(max_bytes) {
  require(max_entries_ > 0);
}

void CapacityTally::add(std::int64_t size) {
  require(size >= 0);
  const auto bytes = static_cast<std::uint64_t>(size);
  ++entries_;
  require(entries_ < max_entries_);
  // bytes_ never exceeds max_bytes_, so the subtraction cannot wrap.
  require(bytes <= max_bytes_ - bytes_);
  bytes_ += bytes;
}

void CapacityTally::admit(std::uint64_t incoming_bytes) const {
  require(incoming_bytes <= max_bytes_ - bytes_);
}

}  // namespace zu::archive_fs
