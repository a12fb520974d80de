// The content digest of a message: its identity, role and blocks, then its native
// document under the family's output label.
#include "native/content_digest.hpp"

namespace zu::digest {

void feed_block(Writer& writer, JsonHasher& json, const ContentBlock& block) {
  std::visit([&](const auto& alternative) { feed_block(writer, json, alternative); }, block);
}

void feed_block(Writer& writer, JsonHasher&, const Text& block) {
  writer.u64(block_kind<Text>);
  writer.bytes(block.text);
}

void feed_block(Writer& writer, JsonHasher&, const Refusal& block) {
  writer.u64(block_kind<Refusal>);
  writer.bytes(block.text);
  writer.bytes(block.detail);
}

void feed_block(Writer& writer, JsonHasher& json, const ToolCall& block) {
  writer.u64(block_kind<ToolCall>);
  writer.bytes(block.id);
  writer.bytes(block.name);
  writer.sign_extended(block.kind);
  writer.bytes(block.input);
  json.document(writer, block.native);
  json.document(writer, block.arguments);
}

void feed_block(Writer& writer, JsonHasher& json, const InvalidToolCall& block) {
  writer.u64(block_kind<InvalidToolCall>);
  writer.bytes(block.id);
  writer.bytes(block.name);
  writer.sign_extended(block.kind);
  writer.bytes(block.input);
  json.document(writer, block.native);
  writer.bytes(block.error);
  writer.sign_extended(block.error_code);
}

void feed_block(Writer& writer, JsonHasher&, const Thinking& block) {
  writer.u64(block_kind<Thinking>);
  writer.bytes(block.text);
  writer.optional(block.signature);
}

void feed_block(Writer& writer, JsonHasher&, const RedactedThinking& block) {
  writer.u64(block_kind<RedactedThinking>);
  writer.bytes(block.data);
}

void feed_block(Writer& writer, JsonHasher& json, const ServerToolResult& block) {
  writer.u64(block_kind<ServerToolResult>);
  writer.bytes(block.call_id);
  writer.bytes(block.name);
  json.document(writer, block.content);
}

void feed_block(Writer& writer, JsonHasher&, const ToolResult& block) {
  writer.u64(block_kind<ToolResult>);
  writer.bytes(block.call_id);
  writer.bytes(block.content);
  writer.boolean(block.is_error);
  writer.boolean(block.host.has_value());
  if (block.host) {
    writer.bytes(block.host->label);
    writer.bytes(block.host->note);
    writer.boolean(block.host->flag_a);
    writer.boolean(block.host->flag_b);
  }
}

void feed_block(Writer& writer, JsonHasher&, const Reasoning& block) {
  writer.u64(block_kind<Reasoning>);
  writer.bytes(block.id);
  writer.list(block.summary);
  writer.optional(block.encrypted_content);
  writer.optional(block.status);
  writer.list(block.content);
}

void feed_block(Writer& writer, JsonHasher& json, const Opaque& block) {
  writer.u64(block_kind<Opaque>);
  writer.bytes(block.type);
  json.document(writer, block.payload);
}

void feed_block(Writer& writer, JsonHasher&, const Image& block) {
  writer.u64(block_kind<Image>);
  writer.bytes(block.media_type);
  writer.boolean(block.data != nullptr);
  if (block.data) writer.bytes(*block.data);
  writer.sign_extended(block.detail);
}

void feed_block(Writer& writer, JsonHasher&, const Thought& block) {
  writer.u64(block_kind<Thought>);
  writer.list(block.summary);
  writer.optional(block.signature);
}

bool content_digest(const Message& message, const ContentLabels& labels,
                    const descriptor::CodecResources& resources, Digest& out) {
  Writer writer(resources);
  JsonHasher json;
  writer.bytes(labels.content);
  writer.bytes(message.id);
  writer.sign_extended(message.role);
  writer.u64(message.content.size());
  for (const ContentBlock& block : message.content) {
    if (!writer.ok()) break;
    feed_block(writer, json, block);
  }
  if (message.native) {
    writer.bytes(labels.output);
    json.document(writer, message.native);
  }
  return writer.finish(out);
}

}  // namespace zu::digest
