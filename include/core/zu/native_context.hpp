// Native contexts: what one provider request was built from, held as digests.
//
// Provider-native output (thinking and reasoning blocks, the provider's own item JSON,
// response identifiers) may be sent back to a provider only by a request built for the
// same wire family, descriptor, configuration and conversation prefix as the request
// that produced it. A NativeContext records those four for one request:
//
//  - `descriptor_digest` binds the family and descriptor (endpoint, members, headers,
//    stop mappings, policy identity);
//  - `prefix_digest` starts from the request's configuration digest (effective choices,
//    model, texts, tools, provider options) and chains every history message at its
//    position;
//  - `history_replayable` says whether every replay token in the history proved that its
//    content was produced under exactly the prefix in front of it.
//
// A codec makes one context per request, before it sends the request, and issues the
// reply's replay token against it (zu/native_replay.hpp):
//
//   std::shared_ptr<const zu::NativeContext> context =
//       zu::CodecAccess::context(descriptor, request, choices, /*streaming=*/true);
//   if (context->bound && context->history_replayable) {
//     // the history's native content may be sent as it is
//   }
//   ... send, decode the reply into `reply` ...
//   reply.replay = zu::CodecAccess::replay(context, reply, &stop, /*bind=*/true);
//
// Binding problems never throw: a context whose descriptor, configuration or history
// could not be bound is still a valid object, with `bound` or `history_replayable`
// false. It matches no descriptor, and replays issued against it are not valid. The
// binding stops at the first problem and records it: `refusal` says why and
// `refusal_position` which message it was, so a host can tell a refused reply from a
// history that was never replayable to begin with:
//
//   if (context->refusal != zu::NativeContext::RefusalReason::none) {
//     std::cerr << zu::NativeContext::refusal_name(context->refusal);
//     if (context->refusal_position) std::cerr << " at message " << *context->refusal_position;
//   }
//
// Whether a history will admit a message at all, before any token is proven, is asked
// with admission(): a codec asks it of each reply when it issues the reply's token.
//
// Thread safety: a context is immutable once made and is only ever shared as a
// std::shared_ptr<const NativeContext>. Its const members may run concurrently on any
// number of threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zu/descriptor/effective_choices.hpp"
#include "zu/descriptor/policy.hpp"
#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/digest.hpp"
#include "zu/export.hpp"
#include "zu/message.hpp"

namespace zu {

namespace chat {
struct InputMessage;
struct Request;
}  // namespace chat
namespace gemini {
struct Request;
enum class HistoryMode : std::uint32_t;
}  // namespace gemini
namespace interactions {
struct Request;
}  // namespace interactions
namespace messages {
struct Request;
}  // namespace messages
namespace responses {
struct Request;
}  // namespace responses

class CodecAccess;
class NativeArchive;

// NativeContext is the bound state of one provider request. Its members are public so
// that codecs and the archive can read them; only the library writes them, while the
// context is being made.
class NativeContext {
 public:
  // Family is the wire family of the request. The values are persisted.
  enum class Family : std::int32_t {
    messages = 0,      // "anthropic.messages"
    responses = 1,     // "openai.responses"
    gemini = 2,        // "google.generate"
    interactions = 3,  // "google.interactions"
    chat = 4,          // "openai.chat"
  };

  // RefusalReason says why a binding ended before the end of the history. Every way that
  // `bound` or `history_replayable` ends up false has one value, so `refusal` is none
  // exactly when both flags are true. The values are not persisted; they are grouped by
  // the step of the binding that decides them.
  enum class RefusalReason : std::int32_t {
    // none: the descriptor, the configuration and the whole history were bound.
    none = 0,

    // The request as a whole; `bound` stays false and there is no position.
    //
    // descriptor_other_family: the descriptor is of another wire family than the
    // request.
    descriptor_other_family = 1,
    // descriptor_digest_failed: the descriptor has no policy, or its digest passed the
    // policy's limits.
    descriptor_digest_failed = 2,
    // configuration_digest_failed: the configuration digest passed the policy's limits
    // (`max_digest_bytes`, or a tool schema deeper or wider than the JSON limits).
    configuration_digest_failed = 3,

    // Admission: the message cannot stand in a history of this family at all, whatever
    // its token proves. `history_replayable` becomes false.
    //
    // native_present: the message has `native` JSON where the family takes none:
    // always in "anthropic.messages" (its native material is its Thinking and
    // RedactedThinking blocks), and on a message without a token in
    // "openai.responses", "google.generate" and "google.interactions".
    native_present = 4,
    // forbidden_block: an "anthropic.messages" message holds a Reasoning, Opaque or
    // Thought block, items of other families.
    forbidden_block = 5,
    // role_without_token: an assistant message without a token in "openai.responses",
    // "google.interactions", or "google.generate" outside
    // HistoryMode::allow_plain_assistant.
    role_without_token = 6,
    // block_without_token: a message without a token holds a block the family refuses
    // there: anything but Text, ToolResult and Image on an input message, and anything
    // but Text and plain client ToolCalls (no `input`, no `native`) on a plain
    // "google.generate" assistant turn.
    block_without_token = 7,
    // token_not_assistant: a message whose role is not assistant carries a token
    // ("openai.responses", "google.generate", "google.interactions").
    token_not_assistant = 8,
    // token_without_items: a message with a token has no `native`, or `native` is not a
    // JSON array (the same three families, which replay the provider's items from it).
    token_without_items = 9,

    // The message's digests; `bound` becomes false.
    //
    // content_digest_failed: the message's content digest passed the policy's limits.
    // (In a continuation's check of the reply it continues, `history_replayable`
    // becomes false instead.)
    content_digest_failed = 10,
    // prefix_digest_failed: chaining the message, or a continuation's cursor text (no
    // position), into the prefix passed the policy's limits.
    prefix_digest_failed = 11,

    // The token's proof: the first check that failed. `history_replayable` becomes
    // false.
    //
    // token_no_context: the token was issued without a context.
    token_no_context = 12,
    // token_not_valid: the token is not valid (issued with `bind` false, without a stop
    // reason, in a shape its family does not replay, or under a context that was not
    // bound, not replayable or could not issue replays); for a continuation, the reply
    // it continues is not cursor-capable.
    token_not_valid = 13,
    // token_other_family: the token was issued under another wire family.
    token_other_family = 14,
    // token_other_path: the token was issued for the descriptor's other path, in a
    // family whose descriptor digest does not cover both.
    token_other_path = 15,
    // token_other_descriptor: the token was issued under another descriptor.
    token_other_descriptor = 16,
    // token_other_position: the reply stands at another position than the one its
    // request's history ended at.
    token_other_position = 17,
    // token_other_prefix: the reply was produced behind another prefix: an earlier
    // message was changed, or the configuration (model, texts, tools, settings,
    // effective choices) differs.
    token_other_prefix = 18,
    // token_other_content: the message was changed after its token was issued.
    token_other_content = 19,

    // cursor_reply: a continuation's previous messages do not end in the reply that
    // `previous_response_id` names (an assistant message with that id, a token and a
    // native JSON array), or, where that reply came from a continuation, are more than
    // that reply.
    cursor_reply = 20,

    // not_recorded: the context was rebuilt by the archive, whose records keep the
    // flags but not why a binding ended.
    not_recorded = 21,
  };

  Family family = Family::messages;
  // model is the request's model.
  std::string model{};
  // path is the descriptor's request path that the request used.
  std::string path{};
  // history_count is the number of history messages the request carries; a reply made
  // under this context can stand only at this position of a later history.
  std::uint64_t history_count = 0;
  // (nullable) policy is the descriptor's policy, the source of every digest limit.
  // Null only when the descriptor had none, and then the context is not bound.
  std::shared_ptr<const descriptor::DescriptorPolicy> policy{};
  Digest descriptor_digest{};
  // prefix_digest covers the configuration, a continued response (cursor mode) and
  // every bound history message, or as much of them as was bound.
  Digest prefix_digest{};
  // configuration_digest is the configuration digest of a "openai.responses" request,
  // kept so that a continuation can prove the same configuration; zero otherwise.
  Digest configuration_digest{};
  // cursor_mode is true for a "openai.responses" request that continues a previous
  // response by its identifier.
  bool cursor_mode = false;
  // bound is true when the descriptor, the configuration and the history were all
  // digested. False also when the descriptor is of another family.
  bool bound = false;
  // history_replayable is true when every history message was admitted and every replay
  // token in it was proven.
  bool history_replayable = true;
  // can_issue_replays is false in cursor mode and for decoding-only copies: replies
  // decoded there are never valid replays.
  bool can_issue_replays = true;
  // server_tool_calls are the (call id, tool name) pairs of the provider-run tool calls
  // that the history leaves unanswered, sorted by call id with each id once; a call
  // keeps the name it was first opened with. A continuation that binds its previous
  // messages and then its input keeps one list over both.
  std::vector<std::pair<std::string, std::string>> server_tool_calls{};
  // client_tools are the declared tool names of a "google.generate" or
  // "google.interactions" request, sorted bytewise; empty for the other families.
  std::vector<std::string> client_tools{};

  // The members below were added after the ones above and stay behind them, so that the
  // earlier members keep their offsets.
  //
  // refusal is why the binding ended early, none when `bound` and `history_replayable`
  // are both true. It is decided by the same binding that sets the flags and changes no
  // digest.
  RefusalReason refusal = RefusalReason::none;
  // refusal_position is the position of the message that ended the binding, or nothing
  // when it ended on the descriptor, the configuration or a continuation's cursor text.
  // Positions count the messages in the order the context binds them: the request's
  // history (`messages`, "openai.responses" `input`, or a "openai.chat" request's raw
  // `inputs` when it has no messages), from 0. A continuation binds its
  // `previous_messages` first, so they take the first positions and `input` follows.
  std::optional<std::uint64_t> refusal_position{};

  ~NativeContext() = default;
  NativeContext& operator=(const NativeContext&) = delete;

  // matches_descriptor returns true when the context is bound, its path is one of
  // `descriptor`'s two paths, and `descriptor` digests to `descriptor_digest`.
  //
  // Throws std::bad_alloc when memory runs out.
  //
  // WARNING: it digests the whole descriptor on every call.
  [[nodiscard]] ZU_CORE_EXPORT bool matches_descriptor(
      const descriptor::ValidatedDescriptor& descriptor) const;

  // client_tool_declared returns true when the request declared a tool called exactly
  // `name`. Always false outside the "google.generate" and "google.interactions"
  // families, which are the only ones that keep the names.
  [[nodiscard]] ZU_CORE_EXPORT bool client_tool_declared(std::string_view name) const noexcept;

  // server_tool_name returns the tool name of the open server tool call `call_id`, or
  // nothing when the history leaves no such call open. The view points into this
  // context and lives as long as it.
  [[nodiscard]] ZU_CORE_EXPORT std::optional<std::string_view> server_tool_name(
      std::string_view call_id) const noexcept;

  // decoding_only returns a new context with this one's family, model, path, history
  // count, policy, descriptor and prefix digests, flags and tool lists, but that cannot
  // issue replays: its configuration digest is zero and `cursor_mode` and
  // `can_issue_replays` are false. A codec uses it to decode a reply that must not be
  // replayed, and the archive refuses replays made against it.
  //
  // Throws std::bad_alloc when memory runs out.
  [[nodiscard]] ZU_CORE_EXPORT std::shared_ptr<const NativeContext> decoding_only() const;

  // admission returns why a history of this context's family would refuse `message`
  // before proving its token, or RefusalReason::none when the family admits it: one of
  // native_present, forbidden_block, role_without_token, block_without_token,
  // token_not_assistant and token_without_items. `mode` stands for the
  // "google.generate" history mode the later request will use; the other families
  // ignore it. These are the rules the binding itself applies, so a message refused
  // here ends the binding of every later history of the family, whatever its token.
  //
  // A codec asks this of each reply once its token is attached: a token's `valid` says
  // where the reply came from, not that its family takes it back. An
  // "anthropic.messages" reply with `native` set gets a valid token and is refused here
  // with native_present, a turn before the next request would refuse it.
  //
  // Throws std::bad_variant_access for a content block without a value.
  [[nodiscard]] ZU_CORE_EXPORT RefusalReason admission(const Message& message,
                                                       gemini::HistoryMode mode = {}) const;

  // refusal_name returns the enumerator's name of `refusal` ("token_other_prefix"),
  // or "unknown" for a value outside the enumeration. The view is of a constant.
  [[nodiscard]] ZU_CORE_EXPORT static std::string_view refusal_name(RefusalReason refusal) noexcept;

 private:
  friend class CodecAccess;
  friend class NativeArchive;

  // The request constructors, one per family: each binds the descriptor, the
  // configuration and the history of `request`. `streaming` selects the descriptor's
  // path; "google.generate" always takes the plain one.
  NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                const messages::Request& request, const descriptor::EffectiveChoices& choices,
                bool streaming);
  NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                const responses::Request& request, const descriptor::EffectiveChoices& choices,
                bool streaming);
  NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                const gemini::Request& request, const descriptor::EffectiveChoices& choices,
                bool streaming);
  NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                const interactions::Request& request,
                const descriptor::EffectiveChoices& choices, bool streaming);
  NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                const chat::Request& request, const descriptor::EffectiveChoices& choices,
                bool streaming);

  // The stored-state constructor: a context with these values and every other member
  // at its initial value, for the archive to fill from a record.
  NativeContext(Family family, std::string model, std::string path,
                std::uint64_t history_count,
                std::shared_ptr<const descriptor::DescriptorPolicy> policy) noexcept;

  // Copies are made only by decoding_only.
  NativeContext(const NativeContext&);

  // family_name returns the wire family name of `family`, or an empty view for a value
  // outside the enumeration.
  static std::string_view family_name(Family family) noexcept;

  // bind_history chains `history` into the prefix, checking each message's admission
  // and replay token, and merges the server tool calls it leaves open into
  // `server_tool_calls`. `allow_plain_assistant` is honoured by "google.generate" only.
  // The history's first message has the refusal position `first_position`.
  void bind_history(const std::vector<Message>& history, bool allow_plain_assistant,
                    std::uint64_t first_position = 0);

  // refuse ends the binding with `history_replayable` false, and unbind with `bound`
  // false; both record why and at which message.
  void refuse(RefusalReason why, std::optional<std::uint64_t> position) noexcept;
  void unbind(RefusalReason why, std::optional<std::uint64_t> position) noexcept;

  // bind_inputs chains a chat request's raw input messages into the prefix.
  void bind_inputs(const std::vector<chat::InputMessage>& inputs);

  // continue_cursor moves the prefix onto the response that `request` continues and
  // returns whether the input messages are to be bound after it.
  bool continue_cursor(const responses::Request& request);
};

}  // namespace zu
