// Continuing a previous response by its identifier.
//
// A request with a cursor does not resend the conversation: the provider keeps it. The
// context therefore binds what the cursor stands for instead. When the previous
// response came from an ordinary request, the previous messages are bound as a history.
// When it came from a request that was itself a continuation, the chain goes on from
// that request's prefix through the response alone. Either way the cursor text is then
// folded in, and the input messages bind on top.
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

// continues_chain says whether the continuation `context` may take over the prefix of
// the continuation `origin` that produced `last`, the one previous message.
bool continues_chain(const NativeContext& context, const NativeContext& origin,
                     const NativeReplay& token, const Message& last, std::size_t previous_count,
                     const native::FamilyRow& row, Digest& last_digest) {
  return previous_count == 1 && token.cursor_capable && origin.bound &&
         origin.history_replayable && origin.family == context.family &&
         origin.model == context.model && origin.path == context.path &&
         origin.descriptor_digest == context.descriptor_digest &&
         origin.configuration_digest == context.configuration_digest &&
         digest::content_digest(last, row.content_labels(), context.policy->resources(),
                                last_digest) &&
         last_digest == token.content_digest;
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
    const Message& last = previous.back();
    if (last.role != Role::assistant || last.id != cursor || last.replay == nullptr ||
        last.native == nullptr || !last.native->root().is_array()) {
      history_replayable = false;
      return false;
    }
    const NativeReplay& token = *last.replay;
    const NativeContext* origin = token.context.get();
    if (origin == nullptr || !origin->cursor_mode) {
      bind_history(previous, false);
      if (!bound || !history_replayable) return false;
    } else {
      Digest last_digest{};
      if (!continues_chain(*this, *origin, token, last, previous.size(), row, last_digest)) {
        history_replayable = false;
        return false;
      }
      prefix_digest = origin->prefix_digest;
      if (!digest::prefix_step(row.prefix, 0, last_digest, resources, prefix_digest)) {
        bound = false;
        return false;
      }
    }
  }

  digest::Writer writer(resources);
  writer.bytes(kCursorLabel);
  writer.raw32(prefix_digest);
  writer.bytes(cursor);
  if (!writer.finish(prefix_digest)) {
    bound = false;
    return false;
  }
  return true;
}

}  // namespace zu
