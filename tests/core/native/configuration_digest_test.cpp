// Configuration digests: which request members they bind, which they leave to the
// history, and how they fail.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "native/configuration_digest.hpp"
#include "native_fixtures.hpp"
#include "stream_bytes.hpp"

namespace {

using zu_test::shared_document;

zu::descriptor::ValidatedDescriptor descriptor_for(
    const char* family, std::optional<bool> tool_flag_default = std::nullopt,
    zu::descriptor::CodecResources resources = zu_test::kRoomyResources) {
  return zu::descriptor::ValidatedDescriptor(zu_test::descriptor_fields(
      family, zu_test::make_policy("zu.test.policy.v1", resources, tool_flag_default)));
}

template <class Request>
std::optional<zu::Digest> digest_of(const Request& request,
                                    const zu::descriptor::ValidatedDescriptor& descriptor,
                                    const zu::descriptor::EffectiveChoices& choices = {}) {
  zu::Digest out{};
  if (!zu::native::configuration_digest(descriptor, request, choices, out)) return std::nullopt;
  return out;
}

// expect_each_changes checks that every mutation of `base` changes its digest.
template <class Request>
void expect_each_changes(const Request& base, const zu::descriptor::ValidatedDescriptor& descriptor,
                         const std::vector<std::pair<const char*, std::function<void(Request&)>>>& mutations) {
  const auto reference = digest_of(base, descriptor);
  ASSERT_TRUE(reference);
  for (const auto& [name, mutate] : mutations) {
    Request changed = base;
    mutate(changed);
    EXPECT_NE(digest_of(changed, descriptor), reference) << name;
  }
}

TEST(ConfigurationDigest, AnEmptyInteractionsRequestIsItsFramedStream) {
  // Label, nine absent choices with thinking off, the model, the two texts and an
  // empty tool list.
  std::string stream = zu_test::framed("zu.interactions.configuration.v1");
  for (int i = 0; i < 8; ++i) stream += zu_test::be64(0);
  stream += zu_test::framed("int-1") + zu_test::framed("sys") + zu_test::framed("") +
            zu_test::be64(0);
  const zu::interactions::Request request{.model = "int-1", .system_instruction = "sys"};
  EXPECT_EQ(digest_of(request, descriptor_for("google.interactions")), zu_test::sha256(stream));
}

TEST(ConfigurationDigest, ThinkingDetailsCountOnlyWithThinkingOn) {
  const auto descriptor = descriptor_for("anthropic.messages");
  const zu::messages::Request request{.model = "m"};
  zu::descriptor::EffectiveChoices off;
  zu::descriptor::EffectiveChoices off_with_leftovers;
  off_with_leftovers.thinking_effort = "high";
  off_with_leftovers.thinking_summary = "auto";
  EXPECT_EQ(digest_of(request, descriptor, off), digest_of(request, descriptor, off_with_leftovers));

  zu::descriptor::EffectiveChoices on = off;
  on.thinking_enabled = true;
  zu::descriptor::EffectiveChoices on_high = off_with_leftovers;
  on_high.thinking_enabled = true;
  EXPECT_NE(digest_of(request, descriptor, on), digest_of(request, descriptor, off));
  EXPECT_NE(digest_of(request, descriptor, on), digest_of(request, descriptor, on_high));

  const std::vector<std::function<void(zu::descriptor::EffectiveChoices&)>> each = {
      [](auto& c) { c.max_output_tokens = 0; }, [](auto& c) { c.parallel_tool_calls = false; },
      [](auto& c) { c.store = false; },         [](auto& c) { c.service_tier = ""; },
      [](auto& c) { c.user = "u"; },            [](auto& c) { c.seed = 0; },
      [](auto& c) { c.thinking_budget_tokens = 0; }};
  for (std::size_t i = 0; i < each.size(); ++i) {
    zu::descriptor::EffectiveChoices changed;
    each[i](changed);
    EXPECT_NE(digest_of(request, descriptor, changed), digest_of(request, descriptor, off)) << i;
  }
}

TEST(ConfigurationDigest, EveryChatMemberOutsideTheHistoryCounts) {
  zu::chat::Request base{.model = "chat-1"};
  base.tools = {{"a", "first", nullptr}, {"b", "second", shared_document("{}")}};
  expect_each_changes<zu::chat::Request>(
      base, descriptor_for("openai.chat"),
      {{"model", [](auto& r) { r.model = "chat-2"; }},
       {"tool order", [](auto& r) { std::swap(r.tools[0], r.tools[1]); }},
       {"tool schema", [](auto& r) { r.tools[0].parameters = shared_document("{}"); }},
       {"routing", [](auto& r) { r.routing = zu::OpenRouterRouting{}; }},
       {"response format", [](auto& r) { r.response_format = zu::ResponseFormat{}; }},
       {"reasoning", [](auto& r) { r.reasoning = zu::chat::ReasoningOptions{}; }},
       {"logprobs", [](auto& r) { r.logprobs = false; }},
       {"include_usage", [](auto& r) { r.include_usage = false; }},
       {"stop", [](auto& r) { r.stop = {""}; }}});
}

TEST(ConfigurationDigest, EveryGeminiMemberOutsideTheHistoryCounts) {
  zu::gemini::Request base{.model = "gen-1"};
  expect_each_changes<zu::gemini::Request>(
      base, descriptor_for("google.generate"),
      {{"system_instruction", [](auto& r) { r.system_instruction = "x"; }},
       {"cached_content", [](auto& r) { r.cached_content = "x"; }},
       {"safety", [](auto& r) { r.safety_settings = {{}}; }},
       {"tools", [](auto& r) { r.tools = {{"t", "", nullptr}}; }}});
}

TEST(ConfigurationDigest, EveryMessagesMemberOutsideTheHistoryCounts) {
  zu::messages::Request base{.model = "msg-1", .system = "A", .user_id = "B"};
  base.tools = {{"t", "", nullptr, "", std::nullopt}};
  expect_each_changes<zu::messages::Request>(
      base, descriptor_for("anthropic.messages"),
      {{"texts exchanged", [](auto& r) { std::swap(r.system, r.user_id); }},
       {"thinking_mode", [](auto& r) { r.thinking_mode = zu::messages::ThinkingMode::disabled; }},
       {"output_effort", [](auto& r) { r.output_effort = zu::messages::OutputEffort::low; }},
       {"cache_control", [](auto& r) { r.cache_control = zu::messages::CacheControl{}; }},
       {"cache ttl", [](auto& r) {
          r.cache_control = zu::messages::CacheControl{zu::messages::CacheTtl::five_minutes};
        }},
       {"routing", [](auto& r) { r.routing = zu::OpenRouterRouting{}; }},
       {"tool type", [](auto& r) { r.tools[0].type = "web_search_v1"; }},
       {"tool max_uses", [](auto& r) { r.tools[0].max_uses = 0; }}});

  // The two enumerations are told apart by their place.
  zu::messages::Request first = base, second = base;
  first.thinking_mode = zu::messages::ThinkingMode::enabled;
  second.output_effort = zu::messages::OutputEffort::medium;
  EXPECT_NE(digest_of(first, descriptor_for("anthropic.messages")),
            digest_of(second, descriptor_for("anthropic.messages")));
}

TEST(ConfigurationDigest, EveryResponsesMemberOutsideTheHistoryCounts) {
  zu::responses::Request base{.model = "resp-1"};
  using zu::responses::Request;
  expect_each_changes<Request>(
      base, descriptor_for("openai.responses"),
      {{"instructions", [](auto& r) { r.instructions = "x"; }},
       {"prompt_cache_key", [](auto& r) { r.prompt_cache_key = "x"; }},
       {"background", [](auto& r) { r.background = true; }},
       {"max_tool_calls", [](auto& r) { r.max_tool_calls = 0; }},
       {"routing", [](auto& r) { r.routing = zu::OpenRouterRouting{}; }},
       {"response format", [](auto& r) { r.response_format = zu::ResponseFormat{}; }},
       {"stream_obfuscation", [](auto& r) { r.stream_obfuscation = false; }},
       {"verbosity", [](auto& r) { r.verbosity = zu::responses::Verbosity::low; }},
       {"truncation", [](auto& r) { r.truncation = zu::responses::Truncation::disabled; }},
       {"include, empty", [](auto& r) { r.include = std::vector<zu::responses::Include>{}; }},
       {"web search", [](auto& r) { r.builtin_tools = {zu::responses::WebSearchTool{}}; }},
       {"tool search", [](auto& r) { r.builtin_tools = {zu::responses::ToolSearchTool{}}; }},
       {"shell", [](auto& r) { r.builtin_tools = {zu::responses::ShellTool{{{"s"}}}}; }},
       {"function tool", [](auto& r) { r.tools = {{"f", "", nullptr, {}, {}}}; }}});
}

TEST(ConfigurationDigest, TheHistoryNeverCounts) {
  const auto descriptor = descriptor_for("openai.responses");
  zu::responses::Request request{.model = "resp-1"};
  const auto empty = digest_of(request, descriptor);
  request.input = {zu_test::user_text("hi")};
  request.previous_response_id = "resp_0";
  request.previous_messages = {zu_test::user_text("before")};
  EXPECT_EQ(digest_of(request, descriptor), empty);

  zu::chat::Request chat{.model = "chat-1"};
  const auto chat_empty = digest_of(chat, descriptor_for("openai.chat"));
  chat.messages = {zu_test::user_text("hi")};
  chat.inputs = {{zu::Role::user, "hi", {}, "", {}}};
  EXPECT_EQ(digest_of(chat, descriptor_for("openai.chat")), chat_empty);

  zu::gemini::Request gemini{.model = "gen-1"};
  const auto gemini_empty = digest_of(gemini, descriptor_for("google.generate"));
  gemini.messages = {zu_test::user_text("hi")};
  gemini.history_mode = zu::gemini::HistoryMode::allow_plain_assistant;
  EXPECT_EQ(digest_of(gemini, descriptor_for("google.generate")), gemini_empty);
}

TEST(ConfigurationDigest, AnUnsetToolFlagTakesThePolicyDefault) {
  auto with_strict = [](std::optional<bool> strict) {
    zu::responses::Request request{.model = "resp-1"};
    request.tools = {{"f", "d", nullptr, strict, std::nullopt}};
    return request;
  };
  const auto strict_default = descriptor_for("openai.responses", true);
  EXPECT_EQ(digest_of(with_strict(std::nullopt), strict_default),
            digest_of(with_strict(true), strict_default));
  EXPECT_NE(digest_of(with_strict(std::nullopt), strict_default),
            digest_of(with_strict(false), strict_default));

  // Without a default either, unset is a value of its own.
  const auto no_default = descriptor_for("openai.responses");
  const auto unset = digest_of(with_strict(std::nullopt), no_default);
  EXPECT_NE(unset, digest_of(with_strict(true), no_default));
  EXPECT_NE(unset, digest_of(with_strict(false), no_default));
  EXPECT_EQ(digest_of(with_strict(false), no_default), digest_of(with_strict(false), strict_default));
}

TEST(ConfigurationDigest, FlagsFedByValueAreTheSameAbsentOrFalse) {
  const auto descriptor = descriptor_for("openai.responses");
  zu::responses::Request absent{.model = "resp-1"};
  absent.tools = {{"f", "d", nullptr, true, std::nullopt}};
  zu::responses::Request falses = absent;
  falses.background = false;
  falses.tools[0].defer_loading = false;
  EXPECT_EQ(digest_of(absent, descriptor), digest_of(falses, descriptor));
  falses.tools[0].defer_loading = true;
  EXPECT_NE(digest_of(absent, descriptor), digest_of(falses, descriptor));
}

TEST(ConfigurationDigest, RoutingPresentButEmptyIsNotAbsent) {
  const auto descriptor = descriptor_for("anthropic.messages");
  zu::messages::Request absent{.model = "m"};
  zu::messages::Request empty = absent;
  empty.routing = zu::OpenRouterRouting{};
  EXPECT_NE(digest_of(absent, descriptor), digest_of(empty, descriptor));

  // Each list and flag of the record has its own place.
  zu::messages::Request order = empty, only = empty;
  order.routing->order = {"a"};
  only.routing->only = {"a"};
  EXPECT_NE(digest_of(order, descriptor), digest_of(only, descriptor));
}

TEST(ConfigurationDigest, FailsOverTheBudgetOrJsonLimitsAndWithoutPolicy) {
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 200;
  zu::chat::Request request{.model = "chat-1"};
  EXPECT_TRUE(digest_of(request, descriptor_for("openai.chat", std::nullopt, tight)));
  request.stop = {std::string(200, 's')};
  EXPECT_FALSE(digest_of(request, descriptor_for("openai.chat", std::nullopt, tight)));

  zu::descriptor::CodecResources shallow = zu_test::kRoomyResources;
  shallow.max_json_depth = 1;
  zu::chat::Request deep{.model = "chat-1"};
  deep.response_format = zu::ResponseFormat{.schema = shared_document(R"({"a":1})")};
  EXPECT_TRUE(digest_of(deep, descriptor_for("openai.chat", std::nullopt, shallow)));
  deep.response_format->schema = shared_document(R"({"a":[1]})");
  EXPECT_FALSE(digest_of(deep, descriptor_for("openai.chat", std::nullopt, shallow)));

  const zu::descriptor::ValidatedDescriptor no_policy(
      zu_test::descriptor_fields("openai.chat", nullptr));
  EXPECT_FALSE(digest_of(zu::chat::Request{}, no_policy));
}

}  // namespace
