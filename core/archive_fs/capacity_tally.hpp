// The counting half of check_capacity, the same on every backend: the backends list and
// check the entries, the tally decides whether one more entry still fits.
#pragma once

#include <cstdint>

namespace zu::archive_fs {

// CapacityTally counts a store's entries and bytes against its limits and throws
// Rejected as soon as they are exceeded. A plain value, owned by one scan.
class CapacityTally {
 public:
  // CapacityTally starts an empty count. It throws when max_entries is 0: no store can
  // hold fewer than no entries, so nothing could ever be added.
  CapacityTally(std::uint64_t max_entries, std::uint64_t max_bytes);

  // add counts one existing entry of size bytes. It throws when the store then holds
  // max_entries entries (leaving no room for the incoming one) or more than max_bytes.
  void add(std::int64_t size);

  // admit throws when incoming_bytes do not fit in what is left of max_bytes.
  void admit(std::uint64_t incoming_bytes) const;

 private:
  std::uint64_t max_entries_;
  std::uint64_t max_bytes_;
  std::uint64_t entries_ = 0;
  std::uint64_t bytes_ = 0;
};

}  // namespace zu::archive_fs
