// The record reader: the encoding primitives of record_writer.hpp read back, each one
// checked before it is trusted. The bytes it reads have passed a MAC check, but the
// reader assumes nothing of them: every length, count, enumeration and boolean is
// checked against what remains and against the archive's limits.
//
// Thread safety: a reader belongs to the one decoding that made it; the bytes it views
// must outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zu/digest.hpp"
#include "zu/json/document.hpp"
#include "zu/native_archive.hpp"

namespace zu::archive {

// Duplicates says whether a JSON document of a record may repeat an object member: where
// the format allows it, a document that the provider sent so is kept as it came.
enum class Duplicates { refused, allowed };

// RecordReader consumes one byte string front to back. Every read throws
// archive_fs::Rejected when the bytes are too few or the value is out of range.
class RecordReader {
 public:
  RecordReader(std::string_view bytes, const NativeArchiveLimits& limits) noexcept
      : rest_(bytes), limits_(limits) {}

  std::uint64_t u64();
  // enum32 reads an enumeration value of at most `largest` (so also refuses a value with
  // any of its upper four bytes set).
  std::uint32_t enum32(std::uint32_t largest);
  // boolean refuses anything but 0 and 1.
  bool boolean();
  // bytes returns a view of the next length-prefixed byte string, valid as long as the
  // bytes the reader views.
  std::string_view bytes();
  std::string text() { return std::string(bytes()); }
  Digest raw32();
  std::optional<std::string> optional_text();
  // count reads the element count of a list or sequence: at most `limit`, and at most
  // one element for every 8 bytes left, since each element takes at least 8.
  std::uint64_t count(std::uint64_t limit);
  // string_list reads a list of at most max_blocks byte strings.
  std::vector<std::string> string_list();
  // optional_json parses a present document under max_record_bytes and max_json_depth.
  // With Duplicates::allowed, a document whose only fault is a repeated object member is
  // accepted as parsed; every other parse failure throws.
  std::shared_ptr<const json::Document> optional_json(Duplicates duplicates);

  [[nodiscard]] bool at_end() const noexcept { return rest_.empty(); }
  [[nodiscard]] const NativeArchiveLimits& limits() const noexcept { return limits_; }

 private:
  // take returns the next `size` bytes, or throws when fewer remain.
  std::string_view take(std::uint64_t size);

  std::string_view rest_;
  NativeArchiveLimits limits_;
};

}  // namespace zu::archive
