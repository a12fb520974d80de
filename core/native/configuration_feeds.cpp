// The shared configuration feeds.
#include "native/configuration_feeds.hpp"

namespace zu::native {

void begin_configuration(digest::Writer& writer, std::string_view label,
                         const descriptor::EffectiveChoices& choices, std::string_view model) {
  writer.bytes(label);
  writer.optional(choices.max_output_tokens);
  writer.optional(choices.parallel_tool_calls);
  writer.optional(choices.store);
  // The effort and summary mean nothing with thinking off, so a request that leaves
  // stale values in them binds like one that cleared them.
  writer.boolean(choices.thinking_enabled);
  if (choices.thinking_enabled) {
    writer.optional(choices.thinking_effort);
    writer.optional(choices.thinking_summary);
  }
  writer.optional(choices.service_tier);
  writer.optional(choices.user);
  writer.optional(choices.seed);
  writer.optional(choices.thinking_budget_tokens);
  writer.bytes(model);
}

void feed_routing(digest::Writer& writer, const std::optional<OpenRouterRouting>& routing) {
  writer.boolean(routing.has_value());
  if (!routing) return;
  writer.optional(routing->allow_fallbacks);
  writer.optional(routing->require_parameters);
  writer.optional(routing->zero_data_retention);
  writer.list(routing->order);
  writer.list(routing->only);
  writer.list(routing->ignore);
  writer.optional(routing->sort);
}

void feed_response_format(digest::Writer& writer, digest::JsonHasher& json,
                          const std::optional<ResponseFormat>& format) {
  writer.boolean(format.has_value());
  if (!format) return;
  writer.zero_extended(format->type);
  writer.bytes(format->name);
  writer.bytes(format->description);
  json.document(writer, format->schema);
  writer.optional(format->strict);
}

}  // namespace zu::native
