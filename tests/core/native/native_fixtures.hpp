// Test helpers for native contexts and replays: policies, descriptors, requests of each
// family built from one history, and replies in each family's native shape.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shared_document.hpp"
#include "zu/core.hpp"

namespace zu_test {

using Family = zu::NativeContext::Family;
using ContextPtr = std::shared_ptr<const zu::NativeContext>;

inline constexpr zu::descriptor::CodecResources kRoomyResources{
    .max_digest_bytes = 1u << 22,
    .max_json_depth = 32,
    .max_json_entries = 4096,
    .max_message_count = 1024,
    .max_block_count = 8192};

inline std::shared_ptr<const zu::descriptor::DescriptorPolicy> make_policy(
    std::string identity = "zu.test.policy.v1",
    zu::descriptor::CodecResources resources = kRoomyResources,
    std::optional<bool> tool_flag_default = std::nullopt) {
  return std::make_shared<const zu::descriptor::DescriptorPolicy>(
      std::move(identity), resources, zu::descriptor::RequestDefaults{tool_flag_default});
}

inline const char* family_name(Family family) {
  switch (family) {
    case Family::messages: return "anthropic.messages";
    case Family::responses: return "openai.responses";
    case Family::gemini: return "google.generate";
    case Family::interactions: return "google.interactions";
    case Family::chat: return "openai.chat";
  }
  return "";
}

// descriptor_fields returns a complete descriptor of the family called `family`.
inline zu::descriptor::DescriptorFields descriptor_fields(
    std::string family,
    std::shared_ptr<const zu::descriptor::DescriptorPolicy> policy = make_policy()) {
  return {.revision = 1,
          .id = "test-" + family,
          .family = family,
          .base_url = "https://api.example.test",
          .paths = {"/v1/send", "/v1/stream"},
          .request_model_member = "model",
          .request_messages_member = "messages",
          .request_stream_member = "stream",
          .max_output_tokens_member = "max_tokens",
          .usage_path = {"usage"},
          .headers = {{"X-Team", "blue"}},
          .stop_mappings = {{"stop", zu::StopKind::turn_ended}, {"length", zu::StopKind{2}}},
          .policy = std::move(policy)};
}

inline zu::descriptor::ValidatedDescriptor make_descriptor(Family family) {
  return zu::descriptor::ValidatedDescriptor(descriptor_fields(family_name(family)));
}

inline std::string hex(const zu::Digest& digest) {
  std::string out;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    out += pair;
  }
  return out;
}

inline zu::Message user_text(std::string text) {
  return {"", zu::Role::user, {zu::Text{std::move(text)}}, nullptr, nullptr};
}

inline zu::Message tool_answer(std::string call_id, std::string content) {
  return {"", zu::Role::tool, {zu::ToolResult{std::move(call_id), std::move(content), false, {}}},
          nullptr, nullptr};
}

// reply returns an assistant reply as the family's decoder would produce it: the
// families that replay provider items get them as a JSON array in `native`.
inline zu::Message reply(Family family, std::string id, std::string text) {
  zu::Message message{std::move(id), zu::Role::assistant, {}, nullptr, nullptr};
  switch (family) {
    case Family::messages:
      message.content = {zu::Thinking{"thinking about " + text, "sig-" + message.id},
                         zu::Text{text}};
      break;
    case Family::chat:
      message.content = {zu::Text{text}};
      break;
    case Family::responses:
      message.content = {zu::Reasoning{"rs-" + message.id, {"summary"}, "enc", {}, {}},
                         zu::Text{text}};
      message.native = shared_document(R"([{"type":"reasoning"},{"type":"message","text":")" +
                                       text + R"("}])");
      break;
    case Family::gemini:
      message.content = {zu::Thought{{"thought"}, "sig"}, zu::Text{text}};
      message.native = shared_document(R"([{"thought":true},{"text":")" + text + R"("}])");
      break;
    case Family::interactions:
      message.content = {zu::Text{text}};
      message.native = shared_document(R"([{"type":"text","text":")" + text + R"("}])");
      break;
  }
  return message;
}

// issued attaches to `message` a replay bound under `context`, stopped with `kind`.
inline zu::Message issued(zu::Message message, const ContextPtr& context,
                          zu::StopKind kind = zu::StopKind::turn_ended) {
  const zu::StopReason stop{kind, {}};
  message.replay = zu::CodecAccess::replay(context, message, &stop, true);
  return message;
}

inline std::shared_ptr<const zu::json::Document> weather_schema() {
  return shared_document(R"({"type":"object","properties":{"city":{"type":"string"}}})");
}

// RequestVariant picks a configuration for family_context: the baseline, the same with
// another tool list, or the same with one other configuration member changed.
enum class RequestVariant { baseline, other_tools, other_setting };

// family_context makes a context of `family` whose request carries `history` (as input
// messages for "openai.responses") under `descriptor`, in the given variant.
inline ContextPtr family_context(Family family, const zu::descriptor::ValidatedDescriptor& descriptor,
                                 std::vector<zu::Message> history,
                                 RequestVariant variant = RequestVariant::baseline,
                                 const zu::descriptor::EffectiveChoices& choices = {},
                                 bool streaming = false) {
  const std::string tool = variant == RequestVariant::other_tools ? "get_time" : "get_weather";
  const bool other = variant == RequestVariant::other_setting;
  switch (family) {
    case Family::messages: {
      zu::messages::Request request{.model = "msg-1", .system = "Be brief."};
      request.messages = std::move(history);
      request.tools.push_back({tool, "a tool", weather_schema(), "", std::nullopt});
      if (other) request.thinking_mode = zu::messages::ThinkingMode::enabled;
      return zu::CodecAccess::context(descriptor, request, choices, streaming);
    }
    case Family::responses: {
      zu::responses::Request request{.model = "resp-1", .instructions = "Be brief."};
      request.input = std::move(history);
      request.tools.push_back({tool, "a tool", weather_schema(), std::nullopt, std::nullopt});
      if (other) request.max_tool_calls = 2;
      return zu::CodecAccess::context(descriptor, request, choices, streaming);
    }
    case Family::gemini: {
      zu::gemini::Request request{.model = "gen-1", .system_instruction = "Be brief."};
      request.messages = std::move(history);
      request.tools.push_back({tool, "a tool", weather_schema()});
      if (other) request.cached_content = "cachedContents/1";
      return zu::CodecAccess::context(descriptor, request, choices, streaming);
    }
    case Family::interactions: {
      zu::interactions::Request request{.model = "int-1", .system_instruction = "Be brief."};
      request.messages = std::move(history);
      request.tools.push_back({tool, "a tool", weather_schema()});
      if (other) request.previous_interaction_id = "int_0";
      return zu::CodecAccess::context(descriptor, request, choices, streaming);
    }
    case Family::chat: {
      zu::chat::Request request{.model = "chat-1"};
      request.messages = std::move(history);
      request.tools.push_back({tool, "a tool", weather_schema()});
      if (other) request.stop = {"END"};
      return zu::CodecAccess::context(descriptor, request, choices, streaming);
    }
  }
  return nullptr;
}

// responses_request returns a "openai.responses" request over `input` that continues the
// response `cursor` (when given) after `previous`.
inline zu::responses::Request responses_request(std::vector<zu::Message> input,
                                                std::optional<std::string> cursor = std::nullopt,
                                                std::vector<zu::Message> previous = {},
                                                std::string model = "resp-1") {
  zu::responses::Request request{.model = std::move(model), .instructions = "Be brief."};
  request.input = std::move(input);
  request.previous_response_id = std::move(cursor);
  request.previous_messages = std::move(previous);
  return request;
}

inline constexpr Family kAllFamilies[] = {Family::messages, Family::responses, Family::gemini,
                                          Family::interactions, Family::chat};

}  // namespace zu_test
