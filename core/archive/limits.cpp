#include "archive/limits.hpp"

#include <cstdint>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive {
namespace {

std::uint64_t product(std::uint64_t a, std::uint64_t b) {
  std::uint64_t result = 0;
  archive_fs::require(!__builtin_mul_overflow(a, b, &result));
  return result;
}

bool within(std::uint64_t value, std::uint64_t low, std::uint64_t high) noexcept {
  return value >= low && value <= high;
}

}  // namespace

NativeArchiveLimits effective_limits(const NativeArchiveLimits& limits,
                                     const descriptor::CodecResources& resources) {
  NativeArchiveLimits out = limits;
  if (out.max_record_bytes == 0) out.max_record_bytes = resources.max_digest_bytes;
  if (out.max_messages == 0) out.max_messages = resources.max_message_count;
  if (out.max_blocks == 0) out.max_blocks = resources.max_block_count;
  if (out.max_json_depth == 0) out.max_json_depth = resources.max_json_depth;
  if (out.max_records == 0) out.max_records = resources.max_message_count;
  if (out.max_store_bytes == 0) {
    archive_fs::require(out.max_records != 0);
    out.max_store_bytes = product(out.max_records, out.max_record_bytes);
  }

  archive_fs::require(resources.max_message_count != 0);
  const std::uint64_t largest_store =
      product(resources.max_digest_bytes, resources.max_message_count);
  archive_fs::require(within(out.max_record_bytes, 1, resources.max_digest_bytes));
  archive_fs::require(within(out.max_messages, 1, resources.max_message_count));
  archive_fs::require(within(out.max_blocks, 1, resources.max_block_count));
  archive_fs::require(within(out.max_json_depth, 1, resources.max_json_depth));
  archive_fs::require(within(out.max_records, 1, resources.max_message_count));
  archive_fs::require(within(out.max_store_bytes, out.max_record_bytes, largest_store));
  return out;
}

}  // namespace zu::archive
