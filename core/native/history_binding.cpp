// History binding: admitting each message, proving its replay token, chaining it into
// the prefix and tracking the server tool calls it opens and answers.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>

#include "native/content_digest.hpp"
#include "native/family_table.hpp"
#include "native/prefix_step.hpp"
#include "zu/native_context.hpp"
#include "zu/native_replay.hpp"

namespace zu {
namespace {

using native::Family;

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

// admitted says whether `message` may stand in a history of `family` at all, before its
// replay token (if any) is looked at.
bool admitted(Family family, const Message& message, bool allow_plain_assistant) {
  for (const ContentBlock& block : message.content) require_value(block);
  switch (family) {
    case Family::messages:
      // This family has no place for the provider items of the others.
      if (message.native != nullptr) return false;
      for (const ContentBlock& block : message.content)
        if (std::holds_alternative<Reasoning>(block) || std::holds_alternative<Opaque>(block) ||
            std::holds_alternative<Thought>(block))
          return false;
      return true;
    case Family::chat:
      return true;
    case Family::responses:
    case Family::gemini:
    case Family::interactions:
      break;
  }
  if (message.replay != nullptr) return message.role == Role::assistant && native_array(message);
  if (message.native != nullptr) return false;
  if (message.role == Role::assistant) {
    if (family != Family::gemini || !allow_plain_assistant) return false;
    for (const ContentBlock& block : message.content)
      if (!plain_assistant_block(block)) return false;
    return true;
  }
  for (const ContentBlock& block : message.content)
    if (!plain_input_block(block)) return false;
  return true;
}

// replay_proven says whether `token`, found on the message at `position` whose content
// digest is `digest`, was issued for exactly this place: by a bound context of the same
// family, path and descriptor that could issue replays, whose history was the same
// `position` messages under the same configuration, for the message as it is now.
bool replay_proven(const NativeContext& context, const NativeReplay& token,
                   std::uint64_t position, const Digest& digest) {
  const NativeContext* origin = token.context.get();
  return token.valid && origin != nullptr && origin->bound && origin->can_issue_replays &&
         origin->family == context.family && origin->history_count == position &&
         origin->path == context.path &&
         origin->descriptor_digest == context.descriptor_digest &&
         origin->prefix_digest == context.prefix_digest && token.content_digest == digest;
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
                                 bool allow_plain_assistant) {
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
    if (!admitted(family, message, allow_plain_assistant)) {
      history_replayable = false;
      return;
    }
    Digest digest{};
    if (!digest::content_digest(message, row.content_labels(), resources, digest)) {
      bound = false;
      return;
    }
    if (message.replay != nullptr && !replay_proven(*this, *message.replay, position, digest)) {
      history_replayable = false;
      return;
    }
    if (!digest::prefix_step(row.prefix, position, digest, resources, prefix_digest)) {
      bound = false;
      return;
    }
    track_server_tools(message, open);
  }

  server_tool_calls.clear();
  server_tool_calls.reserve(open.size());
  for (auto& [id, name] : open) server_tool_calls.emplace_back(id, std::move(name));
}

}  // namespace zu
