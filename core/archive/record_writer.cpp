#include "archive/record_writer.hpp"

#include <algorithm>
#include <variant>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/json/writer.hpp"

namespace zu::archive {

void put_u64(char* at, std::uint64_t value) noexcept {
  for (int i = 7; i >= 0; --i) {
    at[i] = static_cast<char>(value & 0xFFU);
    value >>= 8;
  }
}

void RecordWriter::claim(std::uint64_t count) const {
  // out_ never exceeds max_record_bytes, so the subtraction cannot wrap.
  archive_fs::require(count <= limits_.max_record_bytes - out_.size());
}

void RecordWriter::reserve_up_front() {
  constexpr std::uint64_t kUpFront = std::uint64_t{1} << 20;
  out_.reserve(static_cast<std::size_t>(std::min(limits_.max_record_bytes, kUpFront)));
}

void RecordWriter::u64(std::uint64_t value) {
  claim(8);
  char buffer[8];
  put_u64(buffer, value);
  out_.append(buffer, sizeof buffer);
}

void RecordWriter::enum32(std::int32_t value, std::uint32_t largest) {
  archive_fs::require(value >= 0 && static_cast<std::uint32_t>(value) <= largest);
  u64(static_cast<std::uint32_t>(value));
}

void RecordWriter::boolean(bool value) { u64(value ? 1 : 0); }

void RecordWriter::bytes(std::string_view value) {
  // One claim for the length and the bytes, so a refused string leaves no dangling
  // length behind (the caller discards the record anyway, but the rule stays simple).
  archive_fs::require(value.size() <= limits_.max_record_bytes);
  claim(8 + value.size());
  u64(value.size());
  out_.append(value);
}

void RecordWriter::raw32(const Digest& value) {
  claim(value.size());
  out_.append(reinterpret_cast<const char*>(value.data()), value.size());
}

void RecordWriter::optional_text(const std::optional<std::string>& value) {
  boolean(value.has_value());
  if (value) bytes(*value);
}

void RecordWriter::string_list(const std::vector<std::string>& values) {
  archive_fs::require(values.size() <= limits_.max_blocks);
  u64(values.size());
  for (const std::string& value : values) bytes(value);
}

void RecordWriter::optional_json(const std::shared_ptr<const json::Document>& document,
                                 Duplicates duplicates) {
  boolean(document != nullptr);
  if (document == nullptr) return;
  const std::size_t length_at = out_.size();
  u64(0);
  const std::size_t text_at = out_.size();
  json::BoundedWriter writer({.max_bytes = limits_.max_record_bytes, .max_depth = limits_.max_json_depth},
                             &out_);
  writer.value(document->root(), 0);
  if (!writer.ok()) {
    out_.resize(text_at);
    throw archive_fs::Rejected{};
  }
  const std::string_view text = std::string_view(out_).substr(text_at);
  if (duplicates == Duplicates::refused) {
    // The reader parses under exactly these limits and refuses repeated members here.
    const auto parsed = json::parse(text, {.max_bytes = limits_.max_record_bytes,
                                           .max_depth = limits_.max_json_depth});
    archive_fs::require(std::holds_alternative<json::Document>(parsed));
  }
  put_u64(out_.data() + length_at, text.size());
}

}  // namespace zu::archive
