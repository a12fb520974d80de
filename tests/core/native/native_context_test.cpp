// Contexts: what each constructor records, the descriptor it matches, its tool lists and
// its decoding-only copy.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::family_context;
using zu_test::user_text;

TEST(NativeContext, AnEmptyHistoryLeavesTheConfigurationDigestAsPrefix) {
  for (Family family : zu_test::kAllFamilies) {
    const auto descriptor = zu_test::make_descriptor(family);
    const ContextPtr context = family_context(family, descriptor, {});
    EXPECT_TRUE(context->bound && context->history_replayable && context->can_issue_replays);
    EXPECT_TRUE(context->server_tool_calls.empty());
    EXPECT_EQ(context->policy, descriptor.policy());
    // Only the responses family keeps the configuration digest apart.
    if (family == Family::responses) {
      EXPECT_EQ(context->configuration_digest, context->prefix_digest);
    } else {
      EXPECT_EQ(context->configuration_digest, zu::Digest{});
    }
    EXPECT_TRUE(context->matches_descriptor(descriptor));
  }
}

TEST(NativeContext, RecordsThePathTheRequestUsed) {
  const auto descriptor = zu_test::make_descriptor(Family::messages);
  const ContextPtr plain = family_context(Family::messages, descriptor, {user_text("a")});
  const ContextPtr streamed = family_context(Family::messages, descriptor, {user_text("a")},
                                             zu_test::RequestVariant::baseline, {}, true);
  EXPECT_EQ(plain->path, "/v1/send");
  EXPECT_EQ(streamed->path, "/v1/stream");
  // The path is compared on its own, not digested, in this family.
  EXPECT_EQ(plain->prefix_digest, streamed->prefix_digest);
}

TEST(NativeContext, ADescriptorOfAnotherFamilyBindsNothing) {
  const auto descriptor = zu_test::make_descriptor(Family::chat);
  const ContextPtr context = family_context(Family::messages, descriptor, {user_text("hi")});
  EXPECT_FALSE(context->bound);
  EXPECT_EQ(context->descriptor_digest, zu::Digest{});
  EXPECT_EQ(context->prefix_digest, zu::Digest{});
  EXPECT_FALSE(context->matches_descriptor(descriptor));
  EXPECT_EQ(context->history_count, 1u);

  // A reply made under it is never valid.
  const zu::Message answer = zu_test::issued(zu_test::reply(Family::messages, "m", "x"), context);
  EXPECT_FALSE(answer.replay->valid);
}

TEST(NativeContext, AnUnknownFamilyOrAMissingPolicyBindsNothing) {
  auto unknown = zu_test::descriptor_fields("acme.messages");
  EXPECT_FALSE(family_context(Family::messages, zu::descriptor::ValidatedDescriptor(unknown), {})
                   ->bound);
  auto no_policy = zu_test::descriptor_fields("anthropic.messages", nullptr);
  const zu::descriptor::ValidatedDescriptor descriptor(no_policy);
  const ContextPtr context = family_context(Family::messages, descriptor, {});
  EXPECT_FALSE(context->bound);
  EXPECT_EQ(context->policy, nullptr);
  EXPECT_FALSE(context->matches_descriptor(descriptor));
}

TEST(NativeContext, MatchesOnlyADescriptorWithTheSameDigestAndOneOfItsPaths) {
  const auto descriptor = zu_test::make_descriptor(Family::interactions);
  const ContextPtr context = family_context(Family::interactions, descriptor, {});
  ASSERT_TRUE(context->matches_descriptor(descriptor));

  auto other_paths = zu_test::descriptor_fields("google.interactions");
  other_paths.paths = {"/v2/send", "/v2/stream"};
  EXPECT_FALSE(context->matches_descriptor(zu::descriptor::ValidatedDescriptor(other_paths)));

  // The path the context used is still one of them.
  auto swapped = zu_test::descriptor_fields("google.interactions");
  swapped.paths = {"/v1/stream", "/v1/send"};
  EXPECT_TRUE(context->matches_descriptor(zu::descriptor::ValidatedDescriptor(swapped)));

  auto other_header = zu_test::descriptor_fields("google.interactions");
  other_header.headers.push_back({"X-Extra", "1"});
  EXPECT_FALSE(context->matches_descriptor(zu::descriptor::ValidatedDescriptor(other_header)));

  // A new revision of an otherwise unchanged descriptor keeps its contexts' replays.
  auto revised = zu_test::descriptor_fields("google.interactions");
  revised.revision = 2;
  EXPECT_TRUE(context->matches_descriptor(zu::descriptor::ValidatedDescriptor(revised)));
}

TEST(NativeContext, GeminiRecordsThePlainPathAndMatchesThroughEither) {
  const auto descriptor = zu_test::make_descriptor(Family::gemini);
  const ContextPtr streamed = family_context(Family::gemini, descriptor, {user_text("hi")},
                                             zu_test::RequestVariant::baseline, {}, true);
  const ContextPtr plain = family_context(Family::gemini, descriptor, {user_text("hi")});
  EXPECT_EQ(streamed->path, "/v1/send");
  EXPECT_EQ(streamed->prefix_digest, plain->prefix_digest);
  EXPECT_TRUE(streamed->matches_descriptor(descriptor));

  auto fields = zu_test::descriptor_fields("google.generate");
  fields.paths = {"/v1/stream", "/v1/send"};
  // Both paths are digested, in their places.
  EXPECT_FALSE(plain->matches_descriptor(zu::descriptor::ValidatedDescriptor(fields)));
  fields.paths = {"/v1/send", "/v1/other"};
  EXPECT_FALSE(plain->matches_descriptor(zu::descriptor::ValidatedDescriptor(fields)));
}

TEST(NativeContext, KeepsSortedClientToolNamesForGenerateAndInteractions) {
  const auto gemini = zu_test::make_descriptor(Family::gemini);
  zu::gemini::Request request{.model = "gen-1"};
  request.tools = {{"lookup", "", nullptr}, {"Zeta", "", nullptr}, {"alpha", "", nullptr}};
  const ContextPtr context = zu::CodecAccess::context(gemini, request, {}, false);
  EXPECT_EQ(context->client_tools, (std::vector<std::string>{"Zeta", "alpha", "lookup"}));
  EXPECT_TRUE(context->client_tool_declared("alpha"));
  EXPECT_TRUE(context->client_tool_declared("Zeta"));
  EXPECT_FALSE(context->client_tool_declared("zeta"));
  EXPECT_FALSE(context->client_tool_declared("alph"));
  EXPECT_FALSE(context->client_tool_declared(""));

  const auto interactions = zu_test::make_descriptor(Family::interactions);
  zu::interactions::Request other{.model = "int-1"};
  other.tools = {{"b", "", nullptr}, {"a", "", nullptr}};
  EXPECT_EQ(zu::CodecAccess::context(interactions, other, {}, false)->client_tools,
            (std::vector<std::string>{"a", "b"}));

  for (Family family : {Family::messages, Family::responses, Family::chat}) {
    const ContextPtr c = family_context(family, zu_test::make_descriptor(family), {});
    EXPECT_TRUE(c->client_tools.empty());
    EXPECT_FALSE(c->client_tool_declared("get_weather"));
  }
}

TEST(NativeContext, TracksTheServerToolCallsTheHistoryLeavesOpen) {
  const auto descriptor = zu_test::make_descriptor(Family::messages);
  auto server_call = [](std::string id, std::string name) {
    return zu::ToolCall{std::move(id), std::move(name), zu::ToolCallKind::server, {}, "", {}};
  };
  zu::Message first{"m1", zu::Role::assistant,
                    {server_call("srv_2", "web_search"), server_call("srv_1", "fetch"),
                     server_call("srv_2", "renamed"),
                     zu::ToolCall{"cli_1", "get_weather", zu::ToolCallKind::client, {}, "", {}},
                     zu::ServerToolResult{"srv_9", "never opened", nullptr}},
                    nullptr, nullptr};
  zu::Message second{"m2", zu::Role::assistant,
                     {zu::ServerToolResult{"srv_1", "fetch", nullptr}, server_call("srv_0", "code")},
                     nullptr, nullptr};
  const ContextPtr context =
      family_context(Family::messages, descriptor, {user_text("go"), first, second});
  ASSERT_TRUE(context->history_replayable);
  const std::vector<std::pair<std::string, std::string>> expected{{"srv_0", "code"},
                                                                  {"srv_2", "web_search"}};
  EXPECT_EQ(context->server_tool_calls, expected);
  EXPECT_EQ(context->server_tool_name("srv_2"), "web_search");
  EXPECT_EQ(context->server_tool_name("srv_0"), "code");
  EXPECT_EQ(context->server_tool_name("srv_1"), std::nullopt);
  EXPECT_EQ(context->server_tool_name("cli_1"), std::nullopt);
  EXPECT_EQ(context->server_tool_name("srv_9"), std::nullopt);
  EXPECT_EQ(context->server_tool_name(""), std::nullopt);
}

TEST(NativeContext, AHistoryThatEndsEarlyLeavesNoServerToolCalls) {
  const auto descriptor = zu_test::make_descriptor(Family::messages);
  zu::Message opener{"m1", zu::Role::assistant,
                     {zu::ToolCall{"srv_1", "web_search", zu::ToolCallKind::server, {}, "", {}}},
                     nullptr, nullptr};
  zu::Message refused{"m2", zu::Role::assistant, {zu::Opaque{"item", nullptr}}, nullptr, nullptr};
  const ContextPtr context = family_context(Family::messages, descriptor, {opener, refused});
  EXPECT_FALSE(context->history_replayable);
  EXPECT_TRUE(context->server_tool_calls.empty());
}

TEST(NativeContext, ADecodingOnlyCopyKeepsTheBindingButIssuesNoReplays) {
  const auto descriptor = zu_test::make_descriptor(Family::responses);
  zu::responses::Request request{.model = "resp-1"};
  request.input = {user_text("hi")};
  const ContextPtr context = zu::CodecAccess::context(descriptor, request, {}, true);
  const ContextPtr copy = context->decoding_only();
  EXPECT_EQ(copy->prefix_digest, context->prefix_digest);
  EXPECT_EQ(copy->configuration_digest, zu::Digest{});
  EXPECT_FALSE(copy->can_issue_replays);
  EXPECT_TRUE(copy->matches_descriptor(descriptor));
  EXPECT_TRUE(context->can_issue_replays);  // the original is untouched

  const zu::Message answer = zu_test::issued(zu_test::reply(Family::responses, "r", "x"), copy);
  EXPECT_FALSE(answer.replay->valid);
  EXPECT_FALSE(zu::CodecAccess::archive_valid(*answer.replay, answer));
}

TEST(NativeContext, ABuiltInToolWithoutAValueThrows) {
  struct Throws {
    operator std::vector<std::string>() const { throw std::runtime_error("no list today"); }
  };
  zu::responses::BuiltinTool tool = zu::responses::WebSearchTool{};
  try {
    tool.emplace<zu::responses::FileSearchTool>(Throws{});
  } catch (const std::runtime_error&) {
  }
  ASSERT_TRUE(tool.valueless_by_exception());
  zu::responses::Request request{.model = "resp-1"};
  request.builtin_tools = {zu::responses::WebSearchTool{}, tool};
  EXPECT_THROW((void)zu::CodecAccess::context(zu_test::make_descriptor(Family::responses),
                                              request, {}, false),
               std::bad_variant_access);
}

}  // namespace
