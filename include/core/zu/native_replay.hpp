// Native replay tokens: the proof that a reply's native content may be sent back.
//
// A codec issues a token for each reply it decodes, against the context of the request
// that produced the reply, and attaches it to the message as `replay` beside the
// provider's own JSON in `native`:
//
//   reply.native = items;  // the provider's output items, a JSON array (not in
//                          // "anthropic.messages", whose blocks carry them)
//   reply.replay = zu::CodecAccess::replay(context, reply, &stop, /*bind=*/true);
//   if (context->admission(reply) != zu::NativeContext::RefusalReason::none) {
//     // no later history of this family takes the reply back; fix the decoder
//   }
//
// The token records the producing context, how the reply stopped and the reply's
// content digest. When the reply is part of a later request's history, that request's
// context accepts its native content only if the token is `valid`, the reply stands at
// the position its context was built for, behind exactly the same prefix, and the
// message is unchanged since the token was issued (zu/native_context.hpp).
//
// A token that is not valid still keeps its context and stop kind, so the message can
// be decoded, shown and archived; it only cannot be replayed, and a history that holds
// it is not replayable from there on.
//
// Thread safety: a replay is immutable once made and is only ever shared as a
// std::shared_ptr<const NativeReplay>, which keeps its context alive. Any number of
// threads may read one at once.
#pragma once

#include <memory>

#include "zu/digest.hpp"
#include "zu/message.hpp"
#include "zu/native_context.hpp"
#include "zu/stop_reason.hpp"

namespace zu {

// NativeReplay is the replay token of one reply. Its members are public for reading;
// only the library writes them, while the token is being made.
class NativeReplay {
 public:
  // (nullable) context is the context of the request that produced the reply.
  std::shared_ptr<const NativeContext> context{};
  // stop_kind is how the reply stopped; not_given (9) when no stop reason was given.
  StopKind stop_kind = StopKind::not_given;
  // content_digest is the reply's content digest as issued; zero when none was made.
  Digest content_digest{};
  // valid says the reply's native content may be sent back to the provider: the token
  // proves where and behind what the reply was produced. It does not say that the
  // family admits the message into a history at all; NativeContext::admission does.
  // WARNING: an "anthropic.messages" reply with `native` set gets a valid token and is
  // refused by every later history (RefusalReason::native_present).
  bool valid = false;
  // cursor_capable says a later "openai.responses" request may continue from this
  // reply by its identifier. It can hold where `valid` does not: a reply made in cursor
  // mode is continued by the provider's copy, never replayed.
  bool cursor_capable = false;

  ~NativeReplay() = default;
  NativeReplay(const NativeReplay&) = delete;
  NativeReplay& operator=(const NativeReplay&) = delete;

 private:
  friend class CodecAccess;
  friend class NativeArchive;

  // The response constructor takes over `context` and records the reply `message` with
  // its stop reason `stop` (nullable). With `bind` true, a reply of an acceptable shape
  // under a bound and replayable context gets its content digest, and then `valid` and
  // `cursor_capable` as the context allows.
  //
  // Throws std::bad_variant_access for a block without a value and std::bad_alloc
  // when memory runs out.
  NativeReplay(std::shared_ptr<const NativeContext> context, const Message& message,
               const StopReason* stop, bool bind);

  // The stored-state constructor keeps the four values as given; `cursor_capable` is
  // false.
  NativeReplay(std::shared_ptr<const NativeContext> context, StopKind stop_kind,
               const Digest& content_digest, bool valid) noexcept;

  // archive_valid returns true when the token may be kept with `message`: its context is
  // bound, has a policy and can issue replays, and either the token is not valid or the
  // context is replayable and `message` still has the token's content digest.
  //
  // Throws std::bad_variant_access for a block without a value and std::bad_alloc
  // when memory runs out.
  [[nodiscard]] bool archive_valid(const Message& message) const;
};

}  // namespace zu
