// Issuing replay tokens, and checking them before the archive keeps them.
#include "zu/native_replay.hpp"

#include <utility>
#include <variant>

#include "native/content_digest.hpp"
#include "native/family_table.hpp"

namespace zu {
namespace {

using native::Family;

// The stop kinds after which a reply of these families is complete enough to replay.
bool replayable_stop(StopKind kind) {
  return kind == StopKind::turn_ended || kind == StopKind::tool_use ||
         kind == StopKind::other_complete;
}

// acceptable_shape says whether `message` has the shape the family needs to send it
// back: the families that replay provider items need the assistant's items as a JSON
// array, and a stop that leaves them complete.
bool acceptable_shape(const NativeContext* context, const Message& message,
                      const StopReason* stop) {
  if (context == nullptr) return true;
  switch (context->family) {
    case Family::messages:
    case Family::chat:
      return true;
    case Family::gemini:
      for (const ContentBlock& block : message.content)
        if (std::holds_alternative<InvalidToolCall>(block)) return false;
      [[fallthrough]];
    case Family::responses:
    case Family::interactions:
      return message.role == Role::assistant && message.native != nullptr &&
             message.native->root().is_array() && stop != nullptr &&
             replayable_stop(stop->kind);
  }
  return false;
}

}  // namespace

NativeReplay::NativeReplay(std::shared_ptr<const NativeContext> context_value,
                           const Message& message, const StopReason* stop, bool bind)
    : context(std::move(context_value)), stop_kind(stop != nullptr ? stop->kind : StopKind::not_given) {
  const NativeContext* origin = context.get();
  if (!bind || stop == nullptr || origin == nullptr || !acceptable_shape(origin, message, stop))
    return;
  if (!origin->bound || !origin->history_replayable || origin->policy == nullptr) return;
  const native::FamilyRow* row = native::family_row(origin->family);
  if (row == nullptr) return;
  if (!digest::content_digest(message, row->content_labels(), origin->policy->resources(),
                              content_digest))
    return;
  valid = origin->can_issue_replays;
  cursor_capable = origin->family == Family::responses && origin->cursor_mode;
}

NativeReplay::NativeReplay(std::shared_ptr<const NativeContext> context_value,
                           StopKind stop_kind_value, const Digest& content_digest_value,
                           bool valid_value) noexcept
    : context(std::move(context_value)),
      stop_kind(stop_kind_value),
      content_digest(content_digest_value),
      valid(valid_value) {}

bool NativeReplay::archive_valid(const Message& message) const {
  if (context == nullptr || !context->bound) return false;
  // A decoding-only copy, or a continuation, never vouches for native content.
  if (context->policy == nullptr || !context->can_issue_replays) return false;
  if (!valid) return true;
  if (!context->history_replayable) return false;
  const native::FamilyRow* row = native::family_row(context->family);
  if (row == nullptr) return false;
  Digest digest{};
  return digest::content_digest(message, row->content_labels(), context->policy->resources(),
                                digest) &&
         digest == content_digest;
}

}  // namespace zu
