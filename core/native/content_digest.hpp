// Content digests of messages, and the block feeds they are made of.
//
// The content digest of a message is the stream
//   bytes(content label), bytes(id), u64(role), u64(block count),
//   for each block: u64(kind) and the block's members (below),
//   and, only when the message has a native document:
//   bytes(output label), u64(1), the canonical hash of the document,
// where the labels are those of the provider family the digest is made for. Block
// members are fed in declaration order except in the two tool-call records, which feed
// `input` and `native` right after `kind`:
//   ToolCall         id, name, kind, input, native, arguments
//   InvalidToolCall  id, name, kind, input, native, error, error_code
//   ToolResult       call_id, content, is_error, host (u64(present); label, note,
//                    flag_a, flag_b)
//   Image            media_type, data (u64(present); bytes), detail
// Texts are fed as bytes, flags as booleans, enumerations and error codes sign-extended,
// optionals and lists by the writer's rules and documents as optional documents.
//
//   zu::Digest digest;
//   if (!zu::digest::content_digest(message, {"zu.chat.content.v1", "zu.chat.output.v1"},
//                                   policy.resources(), digest)) { /* unbound */ }
//
// Thread safety: these functions only read the message and its shared documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <variant>

#include "native/digest_writer.hpp"
#include "native/json_hash.hpp"
#include "zu/content_block.hpp"
#include "zu/descriptor/policy.hpp"
#include "zu/digest.hpp"
#include "zu/message.hpp"

namespace zu::digest {

// ContentLabels are a family's two labels of the content digest.
struct ContentLabels {
  std::string_view content;  // starts every content digest
  std::string_view output;   // introduces the message's native document
};

namespace internal {
template <class Block, std::size_t I = 0>
constexpr std::uint64_t index_in_content_block() {
  static_assert(I < std::variant_size_v<ContentBlock>, "not a content block record");
  if constexpr (std::is_same_v<std::variant_alternative_t<I, ContentBlock>, Block>)
    return I;
  else
    return index_in_content_block<Block, I + 1>();
}
}  // namespace internal

// block_kind<Block> is the kind number of a block record: its index in ContentBlock.
template <class Block>
inline constexpr std::uint64_t block_kind = internal::index_in_content_block<Block>();

// feed_block feeds u64(kind) and the members of one block. The ContentBlock form throws
// std::bad_variant_access for a block that holds no alternative; the others never
// throw except std::bad_alloc from the JSON walk. They are also how a caller builds the
// digest of a message it holds only in parts.
void feed_block(Writer& writer, JsonHasher& json, const ContentBlock& block);
void feed_block(Writer& writer, JsonHasher& json, const Text& block);
void feed_block(Writer& writer, JsonHasher& json, const Refusal& block);
void feed_block(Writer& writer, JsonHasher& json, const ToolCall& block);
void feed_block(Writer& writer, JsonHasher& json, const InvalidToolCall& block);
void feed_block(Writer& writer, JsonHasher& json, const Thinking& block);
void feed_block(Writer& writer, JsonHasher& json, const RedactedThinking& block);
void feed_block(Writer& writer, JsonHasher& json, const ServerToolResult& block);
void feed_block(Writer& writer, JsonHasher& json, const ToolResult& block);
void feed_block(Writer& writer, JsonHasher& json, const Reasoning& block);
void feed_block(Writer& writer, JsonHasher& json, const Opaque& block);
void feed_block(Writer& writer, JsonHasher& json, const Image& block);
void feed_block(Writer& writer, JsonHasher& json, const Thought& block);

// content_digest computes the content digest of `message` with `labels` under
// `resources`. On success it stores the digest in `out` and returns true; when the
// budget, a JSON limit or OpenSSL fails it returns false and leaves `out` untouched.
//
// Throws std::bad_variant_access when a block holds no alternative (and the digest has
// not already failed before reaching it), and std::bad_alloc when memory runs out.
//
// WARNING: the cost is linear in the message's texts and documents; `max_digest_bytes`
// is what bounds it.
[[nodiscard]] bool content_digest(const Message& message, const ContentLabels& labels,
                                  const descriptor::CodecResources& resources, Digest& out);

}  // namespace zu::digest
