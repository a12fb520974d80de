// History binding: admitting each message, proving its replay token, chaining it into
// the prefix and tracking the server tool calls it opens and answers. The step that
// ends a binding records why, and the same admission rules answer a codec's question
// about a single message.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "native/content_digest.hpp"
#include "native/family_table.hpp"
#include "native/prefix_step.hpp"
#include "zu/gemini/request.hpp"
#include "zu/native_context.hpp"
#include "zu/native_replay.hpp"

namespace zu {
namespace {

using native::Family;
using RefusalReason = NativeContext::RefusalReason;

// A block without a value is a caller's fault, reported the way the digest of the same
// message would report it, whether or not admission reaches the digest.
void require_value(const ContentBlock& block) {
  if (block.valueless_by_exception()) throw std::bad_variant_access();
}

bool native_array(const Message& message) {
  return message.native != nullptr && message.native->root().is_array();
}

// A plain assistant turn is one the host wrote itself: texts and client tool calls that
// carry nothing of the provider's own.
bool plain_assistant_block(const ContentBlock& block) {
  if (std::holds_alternative<Text>(block)) return true;
  const ToolCall* call = std::get_if<ToolCall>(&block);
  return call != nullptr && call->kind == ToolCallKind::client && call->input.empty() &&
         call->native == nullptr;
}

bool plain_input_block(const ContentBlock& block) {
  return std::holds_alternative<Text>(block) || std::holds_alternative<ToolResult>(block) ||
         std::holds_alternative<Image>(block);
}

// admission says why `message` may not stand in a history of `family` at all, before
// its replay token (if any) is looked at, or none when it may. The first rule the
// message breaks decides.
RefusalReason family_admission(Family family, const Message& message, bool allow_plain_assistant) {
  for (const ContentBlock& block : message.content) require_value(block);
  switch (family) {
    case Family::messages:
      // This family has no place for the provider items of the others.
      if (message.native != nullptr) return RefusalReason::native_present;
      for (const ContentBlock& block : message.content)
        if (std::holds_alternative<Reasoning>(block) || std::holds_alternative<Opaque>(block) ||
            std::holds_alternative<Thought>(block))
          return RefusalReason::forbidden_block;
      return RefusalReason::none;
    case Family::chat:
      return RefusalReason::none;
    case Family::responses:
    case Family::gemini:
    case Family::interactions:
      break;
  }
  if (message.replay != nullptr) {
    if (message.role != Role::assistant) return RefusalReason::token_not_assistant;
    return native_array(message) ? RefusalReason::none : RefusalReason::token_without_items;
  }
  if (message.native != nullptr) return RefusalReason::native_present;
  if (message.role == Role::assistant) {
    if (family != Family::gemini || !allow_plain_assistant)
      return RefusalReason::role_without_token;
    for (const ContentBlock& block : message.content)
      if (!plain_assistant_block(block)) return RefusalReason::block_without_token;
    return RefusalReason::none;
  }
  for (const ContentBlock& block : message.content)
    if (!plain_input_block(block)) return RefusalReason::block_without_token;
  return RefusalReason::none;
}

// replay_refusal says why `token`, found on the message at `position` whose content
// digest is `digest`, was not issued for exactly this place, or none when it was: by a
// bound context of the same family, path and descriptor that could issue replays, whose
// history was the same `position` messages under the same configuration, for the
// message as it is now.
RefusalReason replay_refusal(const NativeContext& context, const NativeReplay& token,
                       std::uint64_t position, const Digest& digest) {
  const NativeContext* origin = token.context.get();
  if (origin == nullptr) return RefusalReason::token_no_context;
  if (!token.valid || !origin->bound || !origin->can_issue_replays)
    return RefusalReason::token_not_valid;
  if (origin->family != context.family) return RefusalReason::token_other_family;
  if (origin->path != context.path) return RefusalReason::token_other_path;
  if (origin->descriptor_digest != context.descriptor_digest)
    return RefusalReason::token_other_descriptor;
  if (origin->history_count != position) return RefusalReason::token_other_position;
  if (origin->prefix_digest != context.prefix_digest) return RefusalReason::token_other_prefix;
  if (token.content_digest != digest) return RefusalReason::token_other_content;
  return RefusalReason::none;
}

using OpenCalls = std::map<std::string, std::string, std::less<>>;

void track_server_tools(const Message& message, OpenCalls& open) {
  for (const ContentBlock& block : message.content) {
    if (const ToolCall* call = std::get_if<ToolCall>(&block)) {
      if (call->kind == ToolCallKind::server) open.try_emplace(call->id, call->name);
    } else if (const ServerToolResult* result = std::get_if<ServerToolResult>(&block)) {
      if (auto found = open.find(result->call_id); found != open.end()) open.erase(found);
    }
  }
}

}  // namespace

void NativeContext::bind_history(const std::vector<Message>& history,
                                 bool allow_plain_assistant, std::uint64_t first_position) {
  const native::FamilyRow& row = *native::family_row(family);
  const descriptor::CodecResources& resources = policy->resources();

  // A context in cursor mode may bind two histories, the previous messages and then the
  // input. Both go through one map, seeded with what the first left open, so that the
  // list stays sorted with each call id once (server_tool_name bisects it), a call
  // keeps the name it was first opened with, and a call the second history answers is
  // no longer open.
  OpenCalls open(server_tool_calls.begin(), server_tool_calls.end());

  for (std::uint64_t position = 0; position < history.size(); ++position) {
    const Message& message = history[position];
    const std::uint64_t at = first_position + position;
    if (const RefusalReason why = family_admission(family, message, allow_plain_assistant);
        why != RefusalReason::none) {
      refuse(why, at);
      return;
    }
    Digest digest{};
    if (!digest::content_digest(message, row.content_labels(), resources, digest)) {
      unbind(RefusalReason::content_digest_failed, at);
      return;
    }
    if (message.replay != nullptr) {
      if (const RefusalReason why = replay_refusal(*this, *message.replay, position, digest);
          why != RefusalReason::none) {
        refuse(why, at);
        return;
      }
    }
    if (!digest::prefix_step(row.prefix, position, digest, resources, prefix_digest)) {
      unbind(RefusalReason::prefix_digest_failed, at);
      return;
    }
    track_server_tools(message, open);
  }

  server_tool_calls.clear();
  server_tool_calls.reserve(open.size());
  for (auto& [id, name] : open) server_tool_calls.emplace_back(id, std::move(name));
}

NativeContext::RefusalReason NativeContext::admission(const Message& message,
                                                gemini::HistoryMode mode) const {
  return family_admission(family, message, mode == gemini::HistoryMode::allow_plain_assistant);
}

void NativeContext::refuse(RefusalReason why, std::optional<std::uint64_t> position) noexcept {
  history_replayable = false;
  refusal = why;
  refusal_position = position;
}

void NativeContext::unbind(RefusalReason why, std::optional<std::uint64_t> position) noexcept {
  bound = false;
  refusal = why;
  refusal_position = position;
}

}  // namespace zu
