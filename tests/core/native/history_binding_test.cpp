// Which messages each family admits into a history, and what a refusal or a failed
// digest leaves behind.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::family_context;
using zu_test::shared_document;
using zu_test::user_text;

bool admitted(Family family, zu::Message message) {
  const ContextPtr context =
      family_context(family, zu_test::make_descriptor(family), {user_text("hi"), std::move(message)});
  EXPECT_TRUE(context->bound);
  return context->history_replayable;
}

zu::Message with_role(zu::Role role, std::vector<zu::ContentBlock> blocks) {
  return {"", role, std::move(blocks), nullptr, nullptr};
}

zu::ToolCall client_call() {
  return {"call_1", "get_weather", zu::ToolCallKind::client,
          shared_document(R"({"city":"Oslo"})"), "", nullptr};
}

const zu::Image kImage{"image/png", std::make_shared<const std::string>("iVBORw0KGgo="),
                       zu::ImageDetail::automatic};

TEST(HistoryBinding, MessagesRefusesProviderItemsOfOtherFamilies) {
  EXPECT_TRUE(admitted(Family::messages,
                       with_role(zu::Role::assistant, {zu::Thinking{"t", "s"},
                                                       zu::RedactedThinking{"r"}, client_call(),
                                                       zu::Text{"x"}, kImage})));
  EXPECT_FALSE(admitted(Family::messages,
                        with_role(zu::Role::assistant, {zu::Reasoning{"rs", {}, {}, {}, {}}})));
  EXPECT_FALSE(admitted(Family::messages, with_role(zu::Role::assistant, {zu::Opaque{"item", {}}})));
  EXPECT_FALSE(admitted(Family::messages, with_role(zu::Role::user, {zu::Thought{{"a"}, {}}})));
  zu::Message with_native = with_role(zu::Role::assistant, {zu::Text{"x"}});
  with_native.native = shared_document("[]");
  EXPECT_FALSE(admitted(Family::messages, with_native));
}

TEST(HistoryBinding, ChatAdmitsEveryMessage) {
  zu::Message anything = with_role(zu::Role::assistant,
                                   {zu::Reasoning{"rs", {}, {}, {}, {}}, zu::Opaque{"item", {}},
                                    zu::Thought{{"a"}, {}}, zu::Refusal{"no", ""}});
  anything.native = shared_document(R"({"not":"an array"})");
  EXPECT_TRUE(admitted(Family::chat, anything));
}

TEST(HistoryBinding, ItemFamiliesAdmitPlainInputOnly) {
  for (Family family : {Family::responses, Family::gemini, Family::interactions}) {
    SCOPED_TRACE(zu_test::family_name(family));
    EXPECT_TRUE(admitted(family, with_role(zu::Role::user, {zu::Text{"x"}, kImage})));
    EXPECT_TRUE(admitted(family, zu_test::tool_answer("call_1", "sunny")));
    EXPECT_TRUE(admitted(family, with_role(zu::Role::system, {})));
    EXPECT_FALSE(admitted(family, with_role(zu::Role::user, {zu::Refusal{"no", ""}})));
    EXPECT_FALSE(admitted(family, with_role(zu::Role::tool, {client_call()})));
    zu::Message with_native = user_text("x");
    with_native.native = shared_document("[]");
    EXPECT_FALSE(admitted(family, with_native));
    // An assistant turn without a token is the host's own writing, not the provider's.
    EXPECT_FALSE(admitted(family, with_role(zu::Role::assistant, {zu::Text{"x"}})));
  }
}

TEST(HistoryBinding, ARefusedMessageEndsTheBindingWithThePrefixBeforeIt) {
  const auto descriptor = zu_test::make_descriptor(Family::interactions);
  const ContextPtr before = family_context(Family::interactions, descriptor, {user_text("hi")});
  const ContextPtr refused = family_context(
      Family::interactions, descriptor,
      {user_text("hi"), with_role(zu::Role::user, {zu::Refusal{"no", ""}}), user_text("later")});
  EXPECT_TRUE(refused->bound);
  EXPECT_FALSE(refused->history_replayable);
  EXPECT_EQ(refused->prefix_digest, before->prefix_digest);
  EXPECT_EQ(refused->history_count, 3u);
}

class GeminiPlainAssistant : public ::testing::Test {
 protected:
  bool admitted(zu::gemini::HistoryMode mode, zu::Message message) const {
    zu::gemini::Request request{.model = "gen-1"};
    request.history_mode = mode;
    request.messages = {user_text("hi"), std::move(message)};
    return zu::CodecAccess::context(descriptor_, request, {}, false)->history_replayable;
  }

  bool allowed(zu::Message message) const {
    return admitted(zu::gemini::HistoryMode::allow_plain_assistant, std::move(message));
  }

  zu::descriptor::ValidatedDescriptor descriptor_ = zu_test::make_descriptor(Family::gemini);
};

TEST_F(GeminiPlainAssistant, AdmitsTextsAndPlainClientCallsOnlyWhenAllowed) {
  const zu::Message plain = with_role(zu::Role::assistant, {zu::Text{"Checking."}, client_call()});
  EXPECT_TRUE(allowed(plain));
  EXPECT_FALSE(admitted(zu::gemini::HistoryMode::strict, plain));

  zu::ToolCall streamed = client_call();
  streamed.input = R"({"city":"Oslo"})";
  EXPECT_FALSE(allowed(with_role(zu::Role::assistant, {streamed})));
  zu::ToolCall with_native = client_call();
  with_native.native = shared_document(R"({"functionCall":{}})");
  EXPECT_FALSE(allowed(with_role(zu::Role::assistant, {with_native})));
  zu::ToolCall server = client_call();
  server.kind = zu::ToolCallKind::server;
  EXPECT_FALSE(allowed(with_role(zu::Role::assistant, {server})));
  EXPECT_FALSE(allowed(with_role(zu::Role::assistant, {zu::Thought{{"a"}, "sig"}})));
  EXPECT_FALSE(allowed(with_role(zu::Role::assistant, {kImage})));
}

TEST(HistoryBinding, AReplayedMessageNeedsTheAssistantRoleAndAnItemArray) {
  for (Family family : {Family::responses, Family::gemini, Family::interactions}) {
    SCOPED_TRACE(zu_test::family_name(family));
    const auto descriptor = zu_test::make_descriptor(family);
    const std::vector<zu::Message> start{user_text("hi")};
    const ContextPtr first = family_context(family, descriptor, start);
    const zu::Message answer = zu_test::issued(zu_test::reply(family, "r", "x"), first);
    ASSERT_TRUE(answer.replay->valid);
    EXPECT_TRUE(admitted(family, answer));

    zu::Message no_items = answer;
    no_items.native = nullptr;
    EXPECT_FALSE(admitted(family, no_items));
    zu::Message object_items = answer;
    object_items.native = shared_document(R"({"items":[]})");
    EXPECT_FALSE(admitted(family, object_items));
    zu::Message as_user = answer;
    as_user.role = zu::Role::user;
    EXPECT_FALSE(admitted(family, as_user));
  }
}

TEST(HistoryBinding, AMessageOverTheBudgetUnbindsTheContext) {
  auto fields = zu_test::descriptor_fields("anthropic.messages");
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 1024;
  fields.policy = zu_test::make_policy("zu.test.policy.v1", tight);
  const zu::descriptor::ValidatedDescriptor descriptor(fields);
  const ContextPtr fits = family_context(Family::messages, descriptor, {user_text("hi")});
  const ContextPtr context = family_context(
      Family::messages, descriptor, {user_text("hi"), user_text(std::string(2000, 'x'))});
  EXPECT_FALSE(context->bound);
  EXPECT_TRUE(context->history_replayable);
  EXPECT_EQ(context->prefix_digest, fits->prefix_digest);
  EXPECT_FALSE(context->matches_descriptor(descriptor));

  // Too deep a document fails the same way.
  const zu::Message deep = with_role(
      zu::Role::assistant, {zu::ToolCall{"c", "n", zu::ToolCallKind::client,
                                         shared_document(std::string(40, '[') + std::string(40, ']')),
                                         "", {}}});
  EXPECT_FALSE(family_context(Family::messages, descriptor, {deep})->bound);
}

TEST(HistoryBinding, ABlockWithoutAValueThrowsInEveryFamily) {
  struct Throws {
    operator std::string() const { throw std::runtime_error("no text today"); }
  };
  zu::ContentBlock block = zu::Text{"x"};
  try {
    block.emplace<zu::Text>(Throws{});
  } catch (const std::runtime_error&) {
  }
  ASSERT_TRUE(block.valueless_by_exception());
  for (Family family : zu_test::kAllFamilies) {
    EXPECT_THROW((void)family_context(family, zu_test::make_descriptor(family),
                                      {with_role(zu::Role::user, {zu::Text{"x"}, block})}),
                 std::bad_variant_access)
        << zu_test::family_name(family);
  }
}

}  // namespace
