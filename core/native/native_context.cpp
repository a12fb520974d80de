// Making a context: the common binding of descriptor and configuration, then each
// family's own step. Also the context's queries.
#include "zu/native_context.hpp"

#include <algorithm>
#include <functional>
#include <utility>

#include "native/configuration_digest.hpp"
#include "native/descriptor_digest.hpp"
#include "native/family_table.hpp"
#include "zu/chat/request.hpp"
#include "zu/gemini/request.hpp"
#include "zu/interactions/request.hpp"
#include "zu/messages/request.hpp"
#include "zu/responses/request.hpp"

namespace zu {
namespace {

using RefusalReason = NativeContext::RefusalReason;

// bind_configuration binds the descriptor, which must be of the context's family
// `family_name`, and the request's configuration. On success the context is bound and
// its prefix is the configuration digest; otherwise it stays unbound, says why, and no
// history is to be bound.
template <class Request>
bool bind_configuration(NativeContext& context, std::string_view family_name,
                        const descriptor::ValidatedDescriptor& descriptor,
                        const Request& request, const descriptor::EffectiveChoices& choices) {
  if (descriptor.family() != family_name) {
    context.refusal = RefusalReason::descriptor_other_family;
  } else if (!native::descriptor_digest(descriptor, context.descriptor_digest)) {
    context.refusal = RefusalReason::descriptor_digest_failed;
  } else if (!native::configuration_digest(descriptor, request, choices,
                                           context.prefix_digest)) {
    context.refusal = RefusalReason::configuration_digest_failed;
  } else {
    context.bound = true;
  }
  return context.bound;
}

template <class Tool>
std::vector<std::string> sorted_names(const std::vector<Tool>& tools) {
  std::vector<std::string> names;
  names.reserve(tools.size());
  for (const Tool& tool : tools) names.push_back(tool.name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

NativeContext::NativeContext(Family family_value, std::string model_value,
                             std::string path_value, std::uint64_t history_count_value,
                             std::shared_ptr<const descriptor::DescriptorPolicy> policy_value) noexcept
    : family(family_value),
      model(std::move(model_value)),
      path(std::move(path_value)),
      history_count(history_count_value),
      policy(std::move(policy_value)) {}

NativeContext::NativeContext(const NativeContext&) = default;

NativeContext::NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                             const messages::Request& request,
                             const descriptor::EffectiveChoices& choices, bool streaming)
    : NativeContext(Family::messages, request.model, descriptor.path(streaming),
                    request.messages.size(), descriptor.policy()) {
  if (!bind_configuration(*this, family_name(family), descriptor, request, choices)) return;
  bind_history(request.messages, false);
}

NativeContext::NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                             const responses::Request& request,
                             const descriptor::EffectiveChoices& choices, bool streaming)
    : NativeContext(Family::responses, request.model, descriptor.path(streaming),
                    request.input.size(), descriptor.policy()) {
  if (!bind_configuration(*this, family_name(family), descriptor, request, choices)) return;
  configuration_digest = prefix_digest;
  if (request.previous_response_id && !continue_cursor(request)) return;
  // A continuation's previous messages take the first refusal positions.
  bind_history(request.input, false, cursor_mode ? request.previous_messages.size() : 0);
}

NativeContext::NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                             const gemini::Request& request,
                             const descriptor::EffectiveChoices& choices,
                             bool /*streaming*/)
    // Both paths are part of this family's descriptor digest, so the context records
    // the plain one whichever way the request is sent.
    : NativeContext(Family::gemini, request.model, descriptor.path(false),
                    request.messages.size(), descriptor.policy()) {
  if (!bind_configuration(*this, family_name(family), descriptor, request, choices)) return;
  client_tools = sorted_names(request.tools);
  bind_history(request.messages,
               request.history_mode == gemini::HistoryMode::allow_plain_assistant);
}

NativeContext::NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                             const interactions::Request& request,
                             const descriptor::EffectiveChoices& choices, bool streaming)
    : NativeContext(Family::interactions, request.model, descriptor.path(streaming),
                    request.messages.size(), descriptor.policy()) {
  if (!bind_configuration(*this, family_name(family), descriptor, request, choices)) return;
  client_tools = sorted_names(request.tools);
  bind_history(request.messages, false);
}

NativeContext::NativeContext(const descriptor::ValidatedDescriptor& descriptor,
                             const chat::Request& request,
                             const descriptor::EffectiveChoices& choices, bool streaming)
    : NativeContext(Family::chat, request.model, descriptor.path(streaming),
                    request.messages.empty() ? request.inputs.size() : request.messages.size(),
                    descriptor.policy()) {
  if (!bind_configuration(*this, family_name(family), descriptor, request, choices)) return;
  if (request.messages.empty()) {
    bind_inputs(request.inputs);
  } else {
    bind_history(request.messages, false);
  }
}

std::string_view NativeContext::family_name(Family value) noexcept {
  const native::FamilyRow* row = native::family_row(value);
  return row != nullptr ? row->name : std::string_view{};
}

std::string_view NativeContext::refusal_name(RefusalReason value) noexcept {
  switch (value) {
    case RefusalReason::none: return "none";
    case RefusalReason::descriptor_other_family: return "descriptor_other_family";
    case RefusalReason::descriptor_digest_failed: return "descriptor_digest_failed";
    case RefusalReason::configuration_digest_failed: return "configuration_digest_failed";
    case RefusalReason::native_present: return "native_present";
    case RefusalReason::forbidden_block: return "forbidden_block";
    case RefusalReason::role_without_token: return "role_without_token";
    case RefusalReason::block_without_token: return "block_without_token";
    case RefusalReason::token_not_assistant: return "token_not_assistant";
    case RefusalReason::token_without_items: return "token_without_items";
    case RefusalReason::content_digest_failed: return "content_digest_failed";
    case RefusalReason::prefix_digest_failed: return "prefix_digest_failed";
    case RefusalReason::token_no_context: return "token_no_context";
    case RefusalReason::token_not_valid: return "token_not_valid";
    case RefusalReason::token_other_family: return "token_other_family";
    case RefusalReason::token_other_path: return "token_other_path";
    case RefusalReason::token_other_descriptor: return "token_other_descriptor";
    case RefusalReason::token_other_position: return "token_other_position";
    case RefusalReason::token_other_prefix: return "token_other_prefix";
    case RefusalReason::token_other_content: return "token_other_content";
    case RefusalReason::cursor_reply: return "cursor_reply";
    case RefusalReason::not_recorded: return "not_recorded";
  }
  return "unknown";
}

bool NativeContext::matches_descriptor(const descriptor::ValidatedDescriptor& descriptor) const {
  if (!bound) return false;
  if (path != descriptor.path(false) && path != descriptor.path(true)) return false;
  Digest digest{};
  return native::descriptor_digest(descriptor, digest) && digest == descriptor_digest;
}

bool NativeContext::client_tool_declared(std::string_view name) const noexcept {
  return std::binary_search(client_tools.begin(), client_tools.end(), name, std::less<>{});
}

std::optional<std::string_view> NativeContext::server_tool_name(
    std::string_view call_id) const noexcept {
  const auto found = std::lower_bound(
      server_tool_calls.begin(), server_tool_calls.end(), call_id,
      [](const std::pair<std::string, std::string>& call, std::string_view id) {
        return std::string_view(call.first) < id;
      });
  if (found == server_tool_calls.end() || found->first != call_id) return std::nullopt;
  return std::string_view(found->second);
}

std::shared_ptr<const NativeContext> NativeContext::decoding_only() const {
  std::shared_ptr<NativeContext> copy(new NativeContext(*this));
  copy->configuration_digest = Digest{};
  copy->cursor_mode = false;
  copy->can_issue_replays = false;
  return copy;
}

}  // namespace zu
