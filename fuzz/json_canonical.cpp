// Input: JSON text. Whatever the reader accepts (repeated member names included, as in
// provider JSON) must survive being written and read again with its canonical digest
// unchanged. The archive stores documents as written text and proves replay tokens by
// digests taken before writing and after reading, so any number, string or structure
// whose written form reads back as another value would make a saved record unloadable.
//
// Checked for every accepted document: the writer and dump() give the same text, the
// text reads back (with the same duplicate verdict), its digest equals the original's,
// and writing what was read gives the same text again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "native/json_hash.hpp"
#include "zu/json.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr zu::json::Limits kLimits{.max_bytes = 1u << 16, .max_depth = 64};

// read returns the document of `text`, keeping one whose only fault is a repeated member
// name, and tells which of the two it was.
std::optional<zu::json::Document> read(std::string_view text, zu::json::Limits limits,
                                       bool& repeated) {
  auto parsed = zu::json::parse(text, limits);
  repeated = false;
  if (auto* document = std::get_if<zu::json::Document>(&parsed)) return std::move(*document);
  auto& error = std::get<zu::json::ParseError>(parsed);
  if (error.code != zu::json::ParseErrorCode::duplicate_member) return std::nullopt;
  repeated = true;
  return std::move(error.document);
}

// digest returns the canonical digest of `root` under limits roomy enough for every
// document of kLimits, or nothing when hashing fails.
std::optional<zu::Digest> digest(zu::json::Value root) {
  static const zu::descriptor::CodecResources resources{.max_digest_bytes = 1u << 22,
                                                        .max_json_depth = kLimits.max_depth,
                                                        .max_json_entries = 1u << 16,
                                                        .max_message_count = 0,
                                                        .max_block_count = 0};
  zu::digest::Writer writer(resources);
  zu::digest::JsonHasher hasher;
  hasher.value(writer, root);
  zu::Digest out{};
  if (!writer.finish(out)) return std::nullopt;
  return out;
}

std::string written(zu::json::Value root) {
  std::string text;
  // Written text is at most a few times longer than the input; the depth is the reader's.
  zu::json::BoundedWriter writer({.max_bytes = 1u << 20, .max_depth = kLimits.max_depth}, &text);
  check(writer.value(root, 0).ok());
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  bool repeated = false;
  const std::optional<zu::json::Document> original = read(text, kLimits, repeated);
  if (!original) return 0;
  const zu::json::Value root = original->root();

  const std::string once = written(root);
  check(once == root.dump());
  bool repeated_again = false;
  const std::optional<zu::json::Document> reread =
      read(once, {.max_bytes = once.size(), .max_depth = kLimits.max_depth}, repeated_again);
  check(reread.has_value() && repeated_again == repeated);
  const std::optional<zu::Digest> before = digest(root);
  check(before.has_value() && digest(reread->root()) == before);
  check(written(reread->root()) == once);
  return 0;
}
