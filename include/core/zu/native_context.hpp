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
// false. It matches no descriptor, and replays issued against it are not valid.
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
  void bind_history(const std::vector<Message>& history, bool allow_plain_assistant);

  // bind_inputs chains a chat request's raw input messages into the prefix.
  void bind_inputs(const std::vector<chat::InputMessage>& inputs);

  // continue_cursor moves the prefix onto the response that `request` continues and
  // returns whether the input messages are to be bound after it.
  bool continue_cursor(const responses::Request& request);
};

}  // namespace zu
