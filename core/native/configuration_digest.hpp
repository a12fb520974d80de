// Configuration digests: everything about a request except its history.
//
// A context starts its prefix from this digest, so a reply made under one configuration
// is never accepted under another. After the common start (configuration_feeds.hpp,
// with the label "zu.<family>.configuration.v1"), each family feeds, in this order:
//
//   chat          routing; response format; reasoning options (u64(present), then
//                 effort, max_tokens, exclude, enabled as optionals); logprobs and
//                 include_usage as optionals; stop as a list; the tools
//   gemini        system_instruction; cached_content; the safety settings (u64(count),
//                 then category and threshold zero-extended); the tools
//   interactions  system_instruction; previous_interaction_id; the tools
//   messages      user_id, then system; thinking_mode and output_effort as optional
//                 enumerations; cache control (u64(present), then its ttl as an
//                 optional enumeration); routing; the tools, each as name, description,
//                 parameters, type and max_uses as an optional
//   responses     instructions; prompt_cache_key; u64(background, false when absent);
//                 max_tool_calls as an optional; routing; response format;
//                 stream_obfuscation as an optional; verbosity and truncation as
//                 optional enumerations; the include list (u64(present), u64(count),
//                 each zero-extended); the built-in tools (u64(count), then each one's
//                 alternative index and members); the function tools (u64(count), then
//                 name, description, parameters, `strict` resolved against the policy's
//                 tool_flag_default as an optional, and u64(defer_loading, false when
//                 absent))
//
// where "the tools" of chat, gemini and interactions are u64(count) and each tool's
// name, description and parameters. The history members (messages, chat inputs, the
// responses cursor and previous messages, the gemini history mode) are not fed.
//
// WARNING: the feed order is a persisted format and differs from the member order.
//
// Thread safety: the functions only read their arguments.
#pragma once

#include "zu/chat/request.hpp"
#include "zu/descriptor/effective_choices.hpp"
#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/digest.hpp"
#include "zu/gemini/request.hpp"
#include "zu/interactions/request.hpp"
#include "zu/messages/request.hpp"
#include "zu/responses/request.hpp"

namespace zu::native {

// configuration_digest computes the configuration digest of `request` under the
// resources of `descriptor`'s policy and the resolved `choices` into `out` and returns
// true. It returns false and leaves `out` untouched when the descriptor has no policy,
// the budget runs out or a schema document breaks the JSON limits.
//
// Throws std::bad_variant_access for a built-in tool without a value, and
// std::bad_alloc when memory runs out.
[[nodiscard]] bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                                        const chat::Request& request,
                                        const descriptor::EffectiveChoices& choices,
                                        Digest& out);
[[nodiscard]] bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                                        const gemini::Request& request,
                                        const descriptor::EffectiveChoices& choices,
                                        Digest& out);
[[nodiscard]] bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                                        const interactions::Request& request,
                                        const descriptor::EffectiveChoices& choices,
                                        Digest& out);
[[nodiscard]] bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                                        const messages::Request& request,
                                        const descriptor::EffectiveChoices& choices,
                                        Digest& out);
[[nodiscard]] bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                                        const responses::Request& request,
                                        const descriptor::EffectiveChoices& choices,
                                        Digest& out);

}  // namespace zu::native
