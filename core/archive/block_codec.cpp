#include "archive/block_codec.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive {
namespace {

constexpr std::uint32_t kLargestToolCallKind = 2;
constexpr std::uint32_t kLargestErrorCode = 5;
constexpr std::uint32_t kLargestImageDetail = 3;

template <typename E>
std::int32_t raw(E value) {
  return static_cast<std::int32_t>(value);
}

void write_body(RecordWriter& w, const Text& b) { w.bytes(b.text); }

void write_body(RecordWriter& w, const Refusal& b) {
  w.bytes(b.text);
  w.bytes(b.detail);
}

// A tool call and an invalid one begin alike: id, name, kind, input, native.
template <typename Call>
void write_call(RecordWriter& w, const Call& b) {
  w.bytes(b.id);
  w.bytes(b.name);
  w.enum32(raw(b.kind), kLargestToolCallKind);
  w.bytes(b.input);
  w.optional_json(b.native, Duplicates::allowed);
}

template <typename Call>
Call read_call(RecordReader& r) {
  Call b;
  b.id = r.text();
  b.name = r.text();
  b.kind = static_cast<ToolCallKind>(r.enum32(kLargestToolCallKind));
  b.input = r.text();
  b.native = r.optional_json(Duplicates::allowed);
  return b;
}

void write_body(RecordWriter& w, const ToolCall& b) {
  write_call(w, b);
  w.optional_json(b.arguments, Duplicates::refused);
}

void write_body(RecordWriter& w, const InvalidToolCall& b) {
  write_call(w, b);
  w.bytes(b.error);
  w.enum32(b.error_code, kLargestErrorCode);
}

void write_body(RecordWriter& w, const Thinking& b) {
  w.bytes(b.text);
  w.optional_text(b.signature);
}

void write_body(RecordWriter& w, const RedactedThinking& b) { w.bytes(b.data); }

void write_body(RecordWriter& w, const ServerToolResult& b) {
  w.bytes(b.call_id);
  w.bytes(b.name);
  w.optional_json(b.content, Duplicates::allowed);
}

void write_body(RecordWriter& w, const ToolResult& b) {
  w.bytes(b.call_id);
  w.bytes(b.content);
  w.boolean(b.is_error);
  w.boolean(b.host.has_value());
  if (!b.host) return;
  w.bytes(b.host->label);
  w.bytes(b.host->note);
  w.boolean(b.host->flag_a);
  w.boolean(b.host->flag_b);
}

void write_body(RecordWriter& w, const Reasoning& b) {
  w.bytes(b.id);
  w.string_list(b.summary);
  w.optional_text(b.encrypted_content);
  w.optional_text(b.status);
  w.string_list(b.content);
}

void write_body(RecordWriter& w, const Opaque& b) {
  w.bytes(b.type);
  w.optional_json(b.payload, Duplicates::allowed);
}

void write_body(RecordWriter& w, const Image& b) {
  w.bytes(b.media_type);
  w.boolean(b.data != nullptr);
  if (b.data) w.bytes(*b.data);
  w.enum32(raw(b.detail), kLargestImageDetail);
}

void write_body(RecordWriter& w, const Thought& b) {
  w.string_list(b.summary);
  w.optional_text(b.signature);
}

// Each read_body reads the body of one kind of block, as the write_body of that kind
// wrote it.
template <typename Block>
using Kind = std::type_identity<Block>;

Text read_body(RecordReader& r, Kind<Text>) { return Text{r.text()}; }

Refusal read_body(RecordReader& r, Kind<Refusal>) {
  Refusal b;
  b.text = r.text();
  b.detail = r.text();
  return b;
}

ToolCall read_body(RecordReader& r, Kind<ToolCall>) {
  auto b = read_call<ToolCall>(r);
  b.arguments = r.optional_json(Duplicates::refused);
  return b;
}

InvalidToolCall read_body(RecordReader& r, Kind<InvalidToolCall>) {
  auto b = read_call<InvalidToolCall>(r);
  b.error = r.text();
  b.error_code = static_cast<std::int32_t>(r.enum32(kLargestErrorCode));
  return b;
}

Thinking read_body(RecordReader& r, Kind<Thinking>) {
  Thinking b;
  b.text = r.text();
  b.signature = r.optional_text();
  return b;
}

RedactedThinking read_body(RecordReader& r, Kind<RedactedThinking>) {
  return RedactedThinking{r.text()};
}

ServerToolResult read_body(RecordReader& r, Kind<ServerToolResult>) {
  ServerToolResult b;
  b.call_id = r.text();
  b.name = r.text();
  b.content = r.optional_json(Duplicates::allowed);
  return b;
}

ToolResult read_body(RecordReader& r, Kind<ToolResult>) {
  ToolResult b;
  b.call_id = r.text();
  b.content = r.text();
  b.is_error = r.boolean();
  if (r.boolean()) {
    ToolResultHostMetadata host;
    host.label = r.text();
    host.note = r.text();
    host.flag_a = r.boolean();
    host.flag_b = r.boolean();
    b.host = std::move(host);
  }
  return b;
}

Reasoning read_body(RecordReader& r, Kind<Reasoning>) {
  Reasoning b;
  b.id = r.text();
  b.summary = r.string_list();
  b.encrypted_content = r.optional_text();
  b.status = r.optional_text();
  b.content = r.string_list();
  return b;
}

Opaque read_body(RecordReader& r, Kind<Opaque>) {
  Opaque b;
  b.type = r.text();
  b.payload = r.optional_json(Duplicates::allowed);
  return b;
}

Image read_body(RecordReader& r, Kind<Image>) {
  Image b;
  b.media_type = r.text();
  if (r.boolean()) b.data = std::make_shared<const std::string>(r.bytes());
  b.detail = static_cast<ImageDetail>(r.enum32(kLargestImageDetail));
  return b;
}

Thought read_body(RecordReader& r, Kind<Thought>) {
  Thought b;
  b.summary = r.string_list();
  b.signature = r.optional_text();
  return b;
}

// A block's stored kind is its alternative's index in ContentBlock, on writing (index())
// and on reading (the table below). The indices are a stored format, so they are pinned
// here: reordering or inserting an alternative fails to compile instead of changing what
// old records mean.
template <std::size_t Tag, typename Block>
constexpr bool stored_as = std::is_same_v<std::variant_alternative_t<Tag, ContentBlock>, Block>;
static_assert(std::variant_size_v<ContentBlock> == 12 && stored_as<0, Text> &&
              stored_as<1, Refusal> && stored_as<2, ToolCall> && stored_as<3, InvalidToolCall> &&
              stored_as<4, Thinking> && stored_as<5, RedactedThinking> &&
              stored_as<6, ServerToolResult> && stored_as<7, ToolResult> &&
              stored_as<8, Reasoning> && stored_as<9, Opaque> && stored_as<10, Image> &&
              stored_as<11, Thought>);

using BodyReader = ContentBlock (*)(RecordReader&);

// body_readers returns, for each stored kind, the reader of the alternative with that
// index, so that the dispatch follows the variant by construction.
template <std::size_t... Tag>
constexpr std::array<BodyReader, sizeof...(Tag)> body_readers(std::index_sequence<Tag...>) {
  return {[](RecordReader& r) -> ContentBlock {
    using Block = std::variant_alternative_t<Tag, ContentBlock>;
    return ContentBlock(std::in_place_index<Tag>, read_body(r, Kind<Block>{}));
  }...};
}

constexpr std::array<BodyReader, std::variant_size_v<ContentBlock>> kBodyReaders =
    body_readers(std::make_index_sequence<std::variant_size_v<ContentBlock>>{});

}  // namespace

void write_block(RecordWriter& writer, const ContentBlock& block) {
  if (block.valueless_by_exception()) throw std::bad_variant_access{};
  writer.u64(block.index());
  std::visit([&writer](const auto& body) { write_body(writer, body); }, block);
}

ContentBlock read_block(RecordReader& reader) {
  const std::uint64_t kind = reader.u64();
  archive_fs::require(kind < kBodyReaders.size());
  return kBodyReaders[static_cast<std::size_t>(kind)](reader);
}

}  // namespace zu::archive
