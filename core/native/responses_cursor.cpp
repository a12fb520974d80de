// Continuing a previous response by its identifier.
//
// A request with a cursor does not resend the conversation: the provider keeps it. The
// context therefore binds what the cursor stands for instead. When the previous
// response came from an ordinary request, the previous messages are bound as a history.
// When it came from a request that was itself a continuation, the chain goes on from
// that request's prefix through the response alone. Either way the cursor text is then
// folded in, and the input messages bind on top.
#include <optional>

#include "native/content_digest.hpp"
#include "native/digest_writer.hpp"
#include "native/family_table.hpp"
#include "native/prefix_step.hpp"
#include "zu/native_context.hpp"
#include "zu/native_replay.hpp"
#include "zu/responses/request.hpp"

namespace zu {
namespace {

constexpr std::string_view kCursorLabel = "zu.responses.cursor.v1";

using RefusalReason = NativeContext::RefusalReason;

// chain_refusal says why the continuation `context` may not take over the prefix of
// the continuation `origin` that produced `last`, the one previous message, or none
// when it may; then `last_digest` is the message's content digest.
RefusalReason chain_refusal(const NativeContext& context, const NativeContext& origin,
                      const NativeReplay& token, const Message& last,
                      std::size_t previous_count, const native::FamilyRow& row,
                      Digest& last_digest) {
  if (previous_count != 1) return RefusalReason::cursor_reply;
  if (!token.cursor_capable || !origin.bound || !origin.history_replayable)
    return RefusalReason::token_not_valid;
  if (origin.family != context.family) return RefusalReason::token_other_family;
  if (origin.path != context.path) return RefusalReason::token_other_path;
  if (origin.descriptor_digest != context.descriptor_digest)
    return RefusalReason::token_other_descriptor;
  if (origin.model != context.model || origin.configuration_digest != context.configuration_digest)
    return RefusalReason::token_other_prefix;
  if (!digest::content_digest(last, row.content_labels(), context.policy->resources(),
                              last_digest))
    return RefusalReason::content_digest_failed;
  if (last_digest != token.content_digest) return RefusalReason::token_other_content;
  return RefusalReason::none;
}

}  // namespace

bool NativeContext::continue_cursor(const responses::Request& request) {
  const native::FamilyRow& row = *native::family_row(family);
  const descriptor::CodecResources& resources = policy->resources();
  const std::string& cursor = *request.previous_response_id;
  const std::vector<Message>& previous = request.previous_messages;
  // Replies to a continuation are continued by the provider's copy, never replayed.
  can_issue_replays = false;
  cursor_mode = true;

  if (!previous.empty()) {
    const std::uint64_t last_position = previous.size() - 1;
    const Message& last = previous.back();
    if (last.role != Role::assistant || last.id != cursor || last.replay == nullptr ||
        last.native == nullptr || !last.native->root().is_array()) {
      refuse(RefusalReason::cursor_reply, last_position);
      return false;
    }
    const NativeReplay& token = *last.replay;
    const NativeContext* origin = token.context.get();
    if (origin == nullptr || !origin->cursor_mode) {
      bind_history(previous, false);
      if (!bound || !history_replayable) return false;
    } else {
      Digest last_digest{};
      if (const RefusalReason why =
              chain_refusal(*this, *origin, token, last, previous.size(), row, last_digest);
          why != RefusalReason::none) {
        refuse(why, last_position);
        return false;
      }
      prefix_digest = origin->prefix_digest;
      if (!digest::prefix_step(row.prefix, 0, last_digest, resources, prefix_digest)) {
        unbind(RefusalReason::prefix_digest_failed, last_position);
        return false;
      }
    }
  }

  digest::Writer writer(resources);
  writer.bytes(kCursorLabel);
  writer.raw32(prefix_digest);
  writer.bytes(cursor);
  if (!writer.finish(prefix_digest)) {
    unbind(RefusalReason::prefix_digest_failed, std::nullopt);
    return false;
  }
  return true;
}

}  // namespace zu
