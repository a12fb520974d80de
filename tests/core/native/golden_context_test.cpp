// The descriptor, configuration and prefix digests of real contexts, against the table
// that the independent Python reference (tests/support/context_reference.py) computes
// for the same inputs. Each case here is built exactly as the case of the same name
// there; the prefixes are reached through real turns with issued replays.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::hex;
using zu_test::shared_document;

const std::map<std::string_view, std::string_view> kGolden = {
#include "context_digests.inc"
};

std::string golden(std::string_view name) {
  auto it = kGolden.find(name);
  if (it == kGolden.end()) {
    ADD_FAILURE() << "no golden digest named " << name;
    return {};
  }
  return std::string(it->second);
}

const char* short_name(Family family) {
  switch (family) {
    case Family::messages: return "messages";
    case Family::responses: return "responses";
    case Family::gemini: return "gemini";
    case Family::interactions: return "interactions";
    case Family::chat: return "chat";
  }
  return "";
}

const auto kPolicy = zu_test::make_policy("zu.golden.policy.v1", zu_test::kRoomyResources, true);

const std::vector<std::pair<std::string, std::string>> kHeaders = {
    {"X-Team", "blue"},         {"Accept", "application/json"},
    {"anthropic-version", "2024-01-01"}, {"Content-Type", "application/json"},
    {"x-team", "Alpha"},        {"X-Trace", "on"},
    {"ANTHROPIC-VERSION", "2025-02-02"}};

zu::descriptor::ValidatedDescriptor golden_descriptor(
    Family family, std::vector<std::pair<std::string, std::string>> headers = kHeaders) {
  return zu::descriptor::ValidatedDescriptor({
      .revision = 3,
      .id = std::string("golden-") + short_name(family),
      .family = zu_test::family_name(family),
      .base_url = "https://api.example.test",
      .paths = {"/v1/generate", "/v1/generate:stream"},
      .request_model_member = "model",
      .request_messages_member = "messages",
      .request_stream_member = "stream",
      .max_output_tokens_member = "max_tokens",
      .usage_path = {"usage", "totals"},
      .headers = std::move(headers),
      .stop_mappings = {{"end_turn", zu::StopKind::turn_ended},
                        {"max_tokens", zu::StopKind{2}},
                        {"refusal", zu::StopKind{7}}},
      .policy = kPolicy,
  });
}

zu::descriptor::EffectiveChoices thinking() {
  return {.max_output_tokens = 4096, .parallel_tool_calls = true, .store = std::nullopt,
          .thinking_enabled = true, .thinking_effort = "high", .thinking_summary = std::nullopt,
          .service_tier = "priority", .user = std::nullopt, .seed = 7,
          .thinking_budget_tokens = 2048};
}

zu::descriptor::EffectiveChoices plain() {
  zu::descriptor::EffectiveChoices choices = thinking();
  choices.thinking_enabled = false;
  choices.thinking_effort = "low";
  choices.thinking_summary = "auto";
  return choices;
}

std::shared_ptr<const zu::json::Document> schema() {
  return shared_document(
      R"({"type":"object","properties":{"city":{"type":"string"}},"required":["city"]})");
}

zu::ToolCall weather_call(std::string id) {
  return {std::move(id), "get_weather", zu::ToolCallKind::client,
          shared_document(R"({"city":"Oslo"})"), "", nullptr};
}

zu::Message question() { return zu_test::user_text("What is the weather in Oslo?"); }

zu::Message tool_answer() { return zu_test::tool_answer("call_1", "sunny, 12 C"); }

zu::Message golden_reply(Family family) {
  switch (family) {
    case Family::messages:
      return {"msg_01", zu::Role::assistant,
              {zu::Thinking{"The user wants weather.", "sig-abc"}, zu::Text{"Let me check."},
               weather_call("toolu_1")},
              nullptr, nullptr};
    case Family::responses:
      return {"resp_1", zu::Role::assistant,
              {zu::Reasoning{"rs_1", {"Look up weather"}, "enc-1", std::nullopt, {}},
               weather_call("call_1")},
              nullptr,
              shared_document(
                  R"([{"type":"reasoning","id":"rs_1"},{"type":"function_call","call_id":"call_1"}])")};
    case Family::gemini:
      return {"", zu::Role::assistant,
              {zu::Thought{{"Need weather"}, "sig-g"}, weather_call("fc_1")}, nullptr,
              shared_document(R"([{"functionCall":{"name":"get_weather","args":{"city":"Oslo"}}}])")};
    case Family::interactions:
      return {"int_8", zu::Role::assistant, {zu::Text{"Sunny."}}, nullptr,
              shared_document(R"([{"type":"text","text":"Sunny."}])")};
    case Family::chat:
      return {"chatcmpl-1", zu::Role::assistant, {weather_call("call_9")}, nullptr, nullptr};
  }
  return {};
}

zu::chat::Request chat_request() {
  zu::chat::Request r{.model = "chat-golden"};
  r.tools = {{"get_weather", "Weather by city", schema()}, {"now", "", nullptr}};
  r.routing = zu::OpenRouterRouting{.allow_fallbacks = false, .require_parameters = std::nullopt,
                                    .zero_data_retention = true, .order = {"alpha", "beta"},
                                    .only = {}, .ignore = {"gamma"}, .sort = "price"};
  r.response_format = zu::ResponseFormat{zu::ResponseFormatType::json_schema, "forecast",
                                         "A forecast", shared_document(R"({"type":"object"})"),
                                         true};
  r.reasoning = zu::chat::ReasoningOptions{"medium", std::nullopt, false, true};
  r.logprobs = true;
  r.stop = {"\n\n", "END"};
  return r;
}

zu::gemini::Request gemini_request() {
  zu::gemini::Request r{.model = "gen-golden", .system_instruction = "Answer briefly.",
                        .cached_content = "cachedContents/42"};
  r.tools = {{"get_weather", "Weather by city", schema()}};
  r.history_mode = zu::gemini::HistoryMode::allow_plain_assistant;
  r.safety_settings = {{zu::gemini::SafetyCategory::harassment,
                        zu::gemini::SafetyThreshold::block_medium_and_above},
                       {zu::gemini::SafetyCategory::dangerous, zu::gemini::SafetyThreshold::block_none}};
  return r;
}

zu::interactions::Request interactions_request() {
  zu::interactions::Request r{.model = "int-golden", .system_instruction = "Be kind.",
                              .previous_interaction_id = "int_7"};
  r.tools = {{"get_weather", "Weather by city", schema()}, {"now", "", nullptr}};
  return r;
}

zu::messages::Request messages_request() {
  zu::messages::Request r{.model = "msg-golden", .system = "You are terse.", .user_id = "user-17"};
  r.tools = {{"get_weather", "Weather by city", schema(), "", std::nullopt},
             {"web_search", "", nullptr, "web_search_v1", 5}};
  r.thinking_mode = zu::messages::ThinkingMode::enabled;
  r.cache_control = zu::messages::CacheControl{zu::messages::CacheTtl::one_hour};
  r.routing = zu::OpenRouterRouting{};
  return r;
}

zu::responses::Request responses_request() {
  zu::responses::Request r{.model = "resp-golden", .instructions = "Use tools.",
                           .prompt_cache_key = "pck-1"};
  r.tools = {{"get_weather", "Weather by city", schema(), std::nullopt, std::nullopt},
             {"now", "", nullptr, false, true}};
  r.builtin_tools = {zu::responses::WebSearchTool{},
                     zu::responses::ImageGenerationTool{"high", std::nullopt},
                     zu::responses::FileSearchTool{{"vs_1", "vs_2"}},
                     zu::responses::ToolSearchTool{},
                     zu::responses::ShellTool{{{"skill_a"}}}};
  r.max_tool_calls = 3;
  r.stream_obfuscation = false;
  r.verbosity = zu::responses::Verbosity::low;
  r.include = std::vector<zu::responses::Include>{
      zu::responses::Include::reasoning_encrypted_content, zu::responses::Include::web_search_sources};
  return r;
}

// golden_context makes the family's golden request over `history`.
ContextPtr golden_context(Family family, std::vector<zu::Message> history) {
  const auto descriptor = golden_descriptor(family);
  switch (family) {
    case Family::messages: {
      auto r = messages_request();
      r.messages = std::move(history);
      return zu::CodecAccess::context(descriptor, r, thinking(), true);
    }
    case Family::responses: {
      auto r = responses_request();
      r.input = std::move(history);
      return zu::CodecAccess::context(descriptor, r, thinking(), true);
    }
    case Family::gemini: {
      auto r = gemini_request();
      r.messages = std::move(history);
      return zu::CodecAccess::context(descriptor, r, plain(), true);
    }
    case Family::interactions: {
      auto r = interactions_request();
      r.messages = std::move(history);
      return zu::CodecAccess::context(descriptor, r, thinking(), true);
    }
    case Family::chat: {
      auto r = chat_request();
      r.messages = std::move(history);
      return zu::CodecAccess::context(descriptor, r, plain(), true);
    }
  }
  return nullptr;
}

TEST(GoldenContext, DescriptorDigestsMatchTheReference) {
  for (Family family : zu_test::kAllFamilies) {
    const ContextPtr context = golden_context(family, {});
    ASSERT_TRUE(context->bound) << short_name(family);
    EXPECT_EQ(hex(context->descriptor_digest), golden(std::string("descriptor.") + short_name(family)));
  }
  zu::messages::Request request = messages_request();
  const ContextPtr default_version = zu::CodecAccess::context(
      golden_descriptor(Family::messages, {{"X-Team", "blue"}}), request, thinking(), false);
  EXPECT_EQ(hex(default_version->descriptor_digest), golden("descriptor.messages_default_version"));
}

TEST(GoldenContext, ConfigurationDigestsMatchTheReference) {
  for (Family family : zu_test::kAllFamilies) {
    const ContextPtr context = golden_context(family, {});
    EXPECT_EQ(hex(context->prefix_digest), golden(std::string("configuration.") + short_name(family)))
        << short_name(family);
  }
}

TEST(GoldenContext, PrefixesOverARepliedTurnMatchTheReference) {
  for (Family family : zu_test::kAllFamilies) {
    SCOPED_TRACE(short_name(family));
    const ContextPtr first = golden_context(family, {question()});
    const zu::Message answer = zu_test::issued(golden_reply(family), first);
    ASSERT_TRUE(answer.replay->valid);
    const ContextPtr second = golden_context(family, {question(), answer, tool_answer()});
    EXPECT_TRUE(second->bound);
    EXPECT_TRUE(second->history_replayable);
    EXPECT_EQ(hex(second->prefix_digest), golden(std::string("prefix.") + short_name(family)));
  }
}

TEST(GoldenContext, ChatInputPrefixMatchesTheReference) {
  auto r = chat_request();
  r.inputs = {
      {zu::Role::user, "Describe this.", {}, "",
       {zu::Image{"image/png", std::make_shared<const std::string>("iVBORw0KGgo="),
                  zu::ImageDetail::high}}},
      {zu::Role::assistant, "", {weather_call("call_9")}, "", {}},
      {zu::Role::tool, "sunny", {}, "call_9", {}},
  };
  const ContextPtr context = zu::CodecAccess::context(golden_descriptor(Family::chat), r, plain(), false);
  EXPECT_EQ(hex(context->prefix_digest), golden("prefix.chat_inputs"));
}

TEST(GoldenContext, ResponsesCursorPrefixMatchesTheReference) {
  auto r = responses_request();
  r.previous_response_id = "resp_1";
  r.input = {question()};
  const ContextPtr context =
      zu::CodecAccess::context(golden_descriptor(Family::responses), r, thinking(), false);
  EXPECT_TRUE(context->cursor_mode);
  EXPECT_EQ(hex(context->configuration_digest), golden("configuration.responses"));
  EXPECT_EQ(hex(context->prefix_digest), golden("prefix.responses_cursor"));
}

}  // namespace
