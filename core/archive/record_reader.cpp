#include "archive/record_reader.hpp"

#include <algorithm>
#include <utility>
#include <variant>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive {

std::string_view RecordReader::take(std::uint64_t size) {
  archive_fs::require(size <= rest_.size());
  const std::string_view taken = rest_.substr(0, static_cast<std::size_t>(size));
  rest_.remove_prefix(taken.size());
  return taken;
}

std::uint64_t RecordReader::u64() {
  std::uint64_t value = 0;
  for (const char byte : take(8)) value = value << 8 | static_cast<std::uint8_t>(byte);
  return value;
}

std::uint32_t RecordReader::enum32(std::uint32_t largest) {
  const std::uint64_t value = u64();
  archive_fs::require(value <= largest);
  return static_cast<std::uint32_t>(value);
}

bool RecordReader::boolean() {
  const std::uint64_t value = u64();
  archive_fs::require(value <= 1);
  return value == 1;
}

std::string_view RecordReader::bytes() { return take(u64()); }

Digest RecordReader::raw32() {
  const std::string_view raw = take(32);
  Digest digest{};
  std::copy(raw.begin(), raw.end(), digest.begin());
  return digest;
}

std::optional<std::string> RecordReader::optional_text() {
  if (!boolean()) return std::nullopt;
  return text();
}

std::uint64_t RecordReader::count(std::uint64_t limit) {
  const std::uint64_t value = u64();
  archive_fs::require(value <= limit && value <= rest_.size() / 8);
  return value;
}

std::vector<std::string> RecordReader::string_list() {
  const std::uint64_t size = count(limits_.max_blocks);
  std::vector<std::string> values;
  values.reserve(static_cast<std::size_t>(size));
  for (std::uint64_t i = 0; i < size; ++i) values.push_back(text());
  return values;
}

std::shared_ptr<const json::Document> RecordReader::optional_json(Duplicates duplicates) {
  if (!boolean()) return nullptr;
  auto parsed = json::parse(bytes(), {.max_bytes = limits_.max_record_bytes,
                                      .max_depth = limits_.max_json_depth});
  if (auto* document = std::get_if<json::Document>(&parsed)) {
    return std::make_shared<const json::Document>(std::move(*document));
  }
  auto& error = std::get<json::ParseError>(parsed);
  archive_fs::require(duplicates == Duplicates::allowed && error.code == json::ParseErrorCode::duplicate_member &&
                      error.document.root().valid());
  return std::make_shared<const json::Document>(std::move(error.document));
}

}  // namespace zu::archive
