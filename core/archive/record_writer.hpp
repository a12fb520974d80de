// The record writer: the encoding primitives of every archive format (custody records,
// the descriptor digest's input, the admission statement), under the archive's limits.
//
//   u64            8 bytes, most significant first;
//   enum32         a 32-bit enumeration value as a u64: four zero bytes, then the value;
//   bool           a u64 0 or 1;
//   bytes          a u64 length, then the raw bytes;
//   raw32          exactly 32 raw bytes, no length;
//   optional text  a bool, then bytes when present;
//   string list    a u64 count (at most max_blocks), then each element as bytes;
//   optional JSON  a bool, then, when present, a u64 length and the compact JSON text.
//
// WARNING: these bytes are a persisted format, authenticated by MACs and digests; the
// same values must give the same bytes in every build.
//
// Thread safety: a writer belongs to the one encoding that made it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/record_reader.hpp"
#include "zu/digest.hpp"
#include "zu/json/document.hpp"
#include "zu/native_archive.hpp"

namespace zu::archive {

// RecordWriter appends primitives to one byte string that never grows past
// max_record_bytes: each append first checks that it fits and throws
// archive_fs::Rejected when it does not, leaving the bytes written so far.
class RecordWriter {
 public:
  explicit RecordWriter(const NativeArchiveLimits& limits) noexcept : limits_(limits) {}

  void u64(std::uint64_t value);
  // enum32 writes `value`, which must lie between 0 and `largest`: the writer refuses
  // what a reader would refuse, so that nothing is saved that cannot be loaded.
  void enum32(std::int32_t value, std::uint32_t largest);
  void boolean(bool value);
  void bytes(std::string_view value);
  void raw32(const Digest& value);
  void optional_text(const std::optional<std::string>& value);
  // string_list throws when `values` has more than max_blocks elements.
  void string_list(const std::vector<std::string>& values);
  // optional_json writes the document's root with the bounded JSON writer directly into
  // the record (the budget is what is left of max_record_bytes, nesting at most
  // max_json_depth) and then patches the length in. With Duplicates::refused it also
  // refuses a document with a repeated object member, as the reader will.
  void optional_json(const std::shared_ptr<const json::Document>& document,
                     Duplicates duplicates);

  // reserve_up_front sets aside room for a whole record of up to a megabyte (less when
  // max_record_bytes is smaller), so that a record is never copied as it grows. Memory
  // that is set aside but not written stays untouched.
  void reserve_up_front();

  // data returns the bytes written so far.
  [[nodiscard]] const std::string& data() const noexcept { return out_; }
  // take hands the bytes over; the writer is empty afterwards.
  [[nodiscard]] std::string take() noexcept { return std::move(out_); }
  [[nodiscard]] const NativeArchiveLimits& limits() const noexcept { return limits_; }

 private:
  // claim throws unless `count` more bytes fit in max_record_bytes.
  void claim(std::uint64_t count) const;

  NativeArchiveLimits limits_;
  std::string out_;
};

// put_u64 stores `value` big-endian into the 8 bytes at `at`.
void put_u64(char* at, std::uint64_t value) noexcept;

}  // namespace zu::archive
