// CodecAccess: how provider codecs make native contexts and replay tokens.
//
// Contexts and replays can be made only by the library; a codec asks for them here, once
// per request and once per decoded reply:
//
//   auto context = zu::CodecAccess::context(descriptor, request, choices, streaming);
//   ... send the request, decode the reply ...
//   reply.replay = zu::CodecAccess::replay(context, reply, &stop, /*bind=*/true);
//   assert(context->admission(reply) == zu::NativeContext::RefusalReason::none);
//
// and on the next turn `reply` simply goes back into the history. `choices` are the
// request's settings after the descriptor's policy resolved them: the values the codec
// writes onto the wire (output limit, thinking, tier, seed...), never the caller's
// unresolved wishes, since they are part of the configuration digest; the next turn
// must resolve to the same values to take the reply's native content back. The archive checks a
// token with archive_valid before it keeps or returns a message.
//
// Thread safety: the functions keep no state and may run concurrently; what they return
// is immutable.
#pragma once

#include <memory>

#include "zu/chat/request.hpp"
#include "zu/descriptor/effective_choices.hpp"
#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/export.hpp"
#include "zu/gemini/request.hpp"
#include "zu/interactions/request.hpp"
#include "zu/message.hpp"
#include "zu/messages/request.hpp"
#include "zu/native_context.hpp"
#include "zu/native_replay.hpp"
#include "zu/responses/request.hpp"
#include "zu/stop_reason.hpp"

namespace zu {

// CodecAccess holds the provider codecs' ways to make contexts and replays. It has no
// objects.
class ZU_CORE_EXPORT CodecAccess {
 public:
  CodecAccess() = delete;

  // context returns a new context for `request` under `descriptor` and the policy's
  // resolved `choices`; `streaming` picks the descriptor's path. It never returns null
  // and never reports a binding problem by throwing: a descriptor of another family, a
  // digest over its limits or an unprovable history leaves `bound` or
  // `history_replayable` false.
  //
  // Throws std::bad_alloc when memory runs out, std::length_error when a list outgrows
  // its container, and std::bad_variant_access for a content block or built-in tool
  // without a value.
  //
  // WARNING: the cost is linear in the request, histories and documents included; the
  // policy's `max_digest_bytes` bounds each digest, not the whole history.
  [[nodiscard]] static std::shared_ptr<const NativeContext> context(
      const descriptor::ValidatedDescriptor& descriptor, const messages::Request& request,
      const descriptor::EffectiveChoices& choices, bool streaming);
  [[nodiscard]] static std::shared_ptr<const NativeContext> context(
      const descriptor::ValidatedDescriptor& descriptor, const responses::Request& request,
      const descriptor::EffectiveChoices& choices, bool streaming);
  [[nodiscard]] static std::shared_ptr<const NativeContext> context(
      const descriptor::ValidatedDescriptor& descriptor, const gemini::Request& request,
      const descriptor::EffectiveChoices& choices, bool streaming);
  [[nodiscard]] static std::shared_ptr<const NativeContext> context(
      const descriptor::ValidatedDescriptor& descriptor, const interactions::Request& request,
      const descriptor::EffectiveChoices& choices, bool streaming);
  [[nodiscard]] static std::shared_ptr<const NativeContext> context(
      const descriptor::ValidatedDescriptor& descriptor, const chat::Request& request,
      const descriptor::EffectiveChoices& choices, bool streaming);

  // replay returns a new replay token for the reply `message` produced under `context`
  // (nullable), which it shares, with the reply's stop reason `stop` (nullable). With
  // `bind` false the token is never valid. It never returns null.
  //
  // The token is valid only when `bind` is true, a stop reason is given, the context is
  // bound, replayable and can issue replays, and the reply has the family's shape: for
  // "openai.responses", "google.generate" and "google.interactions" an assistant
  // message whose `native` is a JSON array, stopped with kind 0, 1 or 5, and for
  // "google.generate" also without an InvalidToolCall block. "anthropic.messages" and
  // "openai.chat" ask nothing of the shape.
  //
  // WARNING: a valid token proves the reply's origin, not that the family admits the
  // message back. An "anthropic.messages" reply must keep `native` null (its thinking
  // travels in Thinking and RedactedThinking blocks): with `native` set its token is
  // still valid, and every later history refuses it. Ask
  // `context->admission(message)` once the token is attached, as the next turn would:
  // it names the rule the message breaks, or none.
  //
  // Throws std::bad_alloc and std::bad_variant_access as context does.
  [[nodiscard]] static std::shared_ptr<const NativeReplay> replay(
      std::shared_ptr<const NativeContext> context, const Message& message,
      const StopReason* stop, bool bind);

  // archive_valid returns true when `replay` may be kept with `message` (see
  // NativeReplay).
  [[nodiscard]] static bool archive_valid(const NativeReplay& replay, const Message& message);
};

}  // namespace zu
