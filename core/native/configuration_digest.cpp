// The five configuration digests.
#include "native/configuration_digest.hpp"

#include <cstddef>
#include <type_traits>
#include <variant>

#include "native/configuration_feeds.hpp"
#include "native/digest_writer.hpp"
#include "native/json_hash.hpp"

namespace zu::native {
namespace {

using digest::JsonHasher;
using digest::Writer;

void feed_reasoning(Writer& writer, const std::optional<chat::ReasoningOptions>& reasoning) {
  writer.boolean(reasoning.has_value());
  if (!reasoning) return;
  writer.optional(reasoning->effort);
  writer.optional(reasoning->max_tokens);
  writer.optional(reasoning->exclude);
  writer.optional(reasoning->enabled);
}

void feed_messages_tools(Writer& writer, JsonHasher& json,
                         const std::vector<messages::ToolDefinition>& tools) {
  writer.u64(tools.size());
  for (const messages::ToolDefinition& tool : tools) {
    if (!writer.ok()) return;
    writer.bytes(tool.name);
    writer.bytes(tool.description);
    json.document(writer, tool.parameters);
    writer.bytes(tool.type);
    writer.optional(tool.max_uses);
  }
}

template <class Tool, std::size_t I = 0>
constexpr std::int32_t builtin_index() {
  if constexpr (std::is_same_v<std::variant_alternative_t<I, responses::BuiltinTool>, Tool>)
    return static_cast<std::int32_t>(I);
  else
    return builtin_index<Tool, I + 1>();
}

void feed_builtin_members(Writer&, const responses::WebSearchTool&) {}
void feed_builtin_members(Writer& writer, const responses::ImageGenerationTool& tool) {
  writer.optional(tool.quality);
  writer.optional(tool.size);
}
void feed_builtin_members(Writer& writer, const responses::FileSearchTool& tool) {
  writer.list(tool.store_ids);
}
void feed_builtin_members(Writer&, const responses::ToolSearchTool&) {}
void feed_builtin_members(Writer& writer, const responses::ShellTool& tool) {
  writer.u64(tool.skills.size());
  for (const responses::SkillReference& skill : tool.skills) writer.bytes(skill.id);
}

void feed_builtin_tools(Writer& writer, const std::vector<responses::BuiltinTool>& tools) {
  writer.u64(tools.size());
  for (const responses::BuiltinTool& tool : tools) {
    // visit comes first so that a tool without a value throws before anything of it
    // is fed, even after the writer has failed.
    std::visit(
        [&](const auto& alternative) {
          writer.sign_extended(builtin_index<std::decay_t<decltype(alternative)>>());
          feed_builtin_members(writer, alternative);
        },
        tool);
  }
}

void feed_function_tools(Writer& writer, JsonHasher& json,
                         const descriptor::ValidatedDescriptor& descriptor,
                         const responses::Request& request) {
  writer.u64(request.tools.size());
  for (const responses::ToolDefinition& tool : request.tools) {
    if (!writer.ok()) return;
    const descriptor::RequestDefaults& defaults =
        descriptor.policy()->defaults(descriptor.family(), request.model);
    writer.bytes(tool.name);
    writer.bytes(tool.description);
    json.document(writer, tool.parameters);
    // A tool that leaves the flag to the policy is the same tool as one that states
    // the policy's value.
    writer.optional(tool.strict ? tool.strict : defaults.tool_flag_default);
    writer.boolean(tool.defer_loading.value_or(false));
  }
}

}  // namespace

bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                          const chat::Request& request,
                          const descriptor::EffectiveChoices& choices, Digest& out) {
  if (descriptor.policy() == nullptr) return false;
  Writer writer(descriptor.policy()->resources());
  JsonHasher json;
  begin_configuration(writer, "zu.chat.configuration.v1", choices, request.model);
  feed_routing(writer, request.routing);
  feed_response_format(writer, json, request.response_format);
  feed_reasoning(writer, request.reasoning);
  writer.optional(request.logprobs);
  writer.optional(request.include_usage);
  writer.list(request.stop);
  feed_plain_tools(writer, json, request.tools);
  return writer.finish(out);
}

bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                          const gemini::Request& request,
                          const descriptor::EffectiveChoices& choices, Digest& out) {
  if (descriptor.policy() == nullptr) return false;
  Writer writer(descriptor.policy()->resources());
  JsonHasher json;
  begin_configuration(writer, "zu.gemini.configuration.v1", choices, request.model);
  writer.bytes(request.system_instruction);
  writer.bytes(request.cached_content);
  writer.u64(request.safety_settings.size());
  for (const gemini::SafetySetting& setting : request.safety_settings) {
    writer.zero_extended(setting.category);
    writer.zero_extended(setting.threshold);
  }
  feed_plain_tools(writer, json, request.tools);
  return writer.finish(out);
}

bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                          const interactions::Request& request,
                          const descriptor::EffectiveChoices& choices, Digest& out) {
  if (descriptor.policy() == nullptr) return false;
  Writer writer(descriptor.policy()->resources());
  JsonHasher json;
  begin_configuration(writer, "zu.interactions.configuration.v1", choices, request.model);
  writer.bytes(request.system_instruction);
  writer.bytes(request.previous_interaction_id);
  feed_plain_tools(writer, json, request.tools);
  return writer.finish(out);
}

bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                          const messages::Request& request,
                          const descriptor::EffectiveChoices& choices, Digest& out) {
  if (descriptor.policy() == nullptr) return false;
  Writer writer(descriptor.policy()->resources());
  JsonHasher json;
  begin_configuration(writer, "zu.messages.configuration.v1", choices, request.model);
  writer.bytes(request.user_id);
  writer.bytes(request.system);
  feed_optional_enum(writer, request.thinking_mode);
  feed_optional_enum(writer, request.output_effort);
  writer.boolean(request.cache_control.has_value());
  if (request.cache_control) feed_optional_enum(writer, request.cache_control->ttl);
  feed_routing(writer, request.routing);
  feed_messages_tools(writer, json, request.tools);
  return writer.finish(out);
}

bool configuration_digest(const descriptor::ValidatedDescriptor& descriptor,
                          const responses::Request& request,
                          const descriptor::EffectiveChoices& choices, Digest& out) {
  if (descriptor.policy() == nullptr) return false;
  Writer writer(descriptor.policy()->resources());
  JsonHasher json;
  begin_configuration(writer, "zu.responses.configuration.v1", choices, request.model);
  writer.bytes(request.instructions);
  writer.bytes(request.prompt_cache_key);
  writer.boolean(request.background.value_or(false));
  writer.optional(request.max_tool_calls);
  feed_routing(writer, request.routing);
  feed_response_format(writer, json, request.response_format);
  writer.optional(request.stream_obfuscation);
  feed_optional_enum(writer, request.verbosity);
  feed_optional_enum(writer, request.truncation);
  writer.boolean(request.include.has_value());
  if (request.include) {
    writer.u64(request.include->size());
    for (const responses::Include include : *request.include) writer.zero_extended(include);
  }
  feed_builtin_tools(writer, request.builtin_tools);
  feed_function_tools(writer, json, descriptor, request);
  return writer.finish(out);
}

}  // namespace zu::native
