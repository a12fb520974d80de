// Binding a chat request's raw input messages.
//
// Each input is digested as the content digest of the message it stands for (no id, no
// native document), so a conversation binds to the same prefix whether a codec hands it
// over as raw inputs or as messages.
#include <optional>

#include "native/content_digest.hpp"
#include "native/digest_writer.hpp"
#include "native/family_table.hpp"
#include "native/json_hash.hpp"
#include "native/prefix_step.hpp"
#include "zu/chat/request.hpp"
#include "zu/native_context.hpp"

namespace zu {
namespace {

// input_digest feeds the content digest of the message that `input` stands for: a tool
// input is one ToolResult; any other is its images, its text (when it has any, or no
// images either) and its tool calls, in that order.
bool input_digest(const chat::InputMessage& input, const native::FamilyRow& row,
                  const descriptor::CodecResources& resources, Digest& out) {
  digest::Writer writer(resources);
  digest::JsonHasher json;
  writer.bytes(row.content);
  writer.bytes(std::string_view{});
  writer.sign_extended(input.role);
  if (input.role == Role::tool) {
    writer.u64(1);
    digest::feed_block(writer, json,
                       ToolResult{input.tool_call_id, input.content, false, std::nullopt});
    return writer.finish(out);
  }
  const bool has_text = !input.content.empty() || input.images.empty();
  writer.u64(input.images.size() + input.tool_calls.size() + (has_text ? 1u : 0u));
  for (const Image& image : input.images) {
    if (!writer.ok()) break;
    digest::feed_block(writer, json, image);
  }
  if (has_text && writer.ok()) digest::feed_block(writer, json, Text{input.content});
  for (const ToolCall& call : input.tool_calls) {
    if (!writer.ok()) break;
    digest::feed_block(writer, json, call);
  }
  return writer.finish(out);
}

}  // namespace

void NativeContext::bind_inputs(const std::vector<chat::InputMessage>& inputs) {
  const native::FamilyRow& row = *native::family_row(family);
  const descriptor::CodecResources& resources = policy->resources();
  for (std::uint64_t position = 0; position < inputs.size(); ++position) {
    Digest digest{};
    if (!input_digest(inputs[position], row, resources, digest)) {
      unbind(RefusalReason::content_digest_failed, position);
      return;
    }
    if (!digest::prefix_step(row.prefix, position, digest, resources, prefix_digest)) {
      unbind(RefusalReason::prefix_digest_failed, position);
      return;
    }
  }
}

}  // namespace zu
