// Multi-turn conversations in every family: a reply's native content is accepted at
// exactly its place in the next request and refused as soon as anything it was made
// under differs.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::RequestVariant;
using zu_test::family_context;
using zu_test::issued;
using zu_test::reply;
using zu_test::user_text;

class Conversation : public ::testing::TestWithParam<Family> {
 protected:
  Family family() const { return GetParam(); }

  // converse runs `turns` turns of question and reply, each reply issued under the
  // context of the request that carried the history before it, and returns the
  // history with one more question at the end.
  std::vector<zu::Message> converse(int turns) {
    std::vector<zu::Message> history;
    for (int turn = 0; turn < turns; ++turn) {
      history.push_back(user_text("question " + std::to_string(turn)));
      const ContextPtr context = family_context(family(), descriptor_, history);
      EXPECT_TRUE(context->bound && context->history_replayable) << "turn " << turn;
      history.push_back(issued(reply(family(), "r" + std::to_string(turn), "answer"), context));
      EXPECT_TRUE(history.back().replay->valid) << "turn " << turn;
    }
    history.push_back(user_text("one more question"));
    return history;
  }

  // expect_refused checks that a history was bound, as far as it could be, but may not
  // be replayed.
  static void expect_refused(const ContextPtr& context) {
    EXPECT_TRUE(context->bound);
    EXPECT_FALSE(context->history_replayable);
  }

  ContextPtr next(std::vector<zu::Message> history, RequestVariant variant = RequestVariant::baseline) {
    return family_context(family(), descriptor_, std::move(history), variant);
  }

  zu::descriptor::ValidatedDescriptor descriptor_ = zu_test::make_descriptor(GetParam());
};

TEST_P(Conversation, EachReplyIsAcceptedAtItsPosition) {
  const std::vector<zu::Message> history = converse(3);
  const ContextPtr context = next(history);
  EXPECT_TRUE(context->bound);
  EXPECT_TRUE(context->history_replayable);
  EXPECT_EQ(context->history_count, history.size());
  EXPECT_TRUE(context->matches_descriptor(descriptor_));
}

TEST_P(Conversation, AReplyMovedToAnotherPositionIsRefused) {
  std::vector<zu::Message> history = converse(1);  // question, reply, question
  std::vector<zu::Message> later = {history[0], history[2], history[1]};
  expect_refused(next(later));

  history.insert(history.begin(), user_text("an earlier question"));
  expect_refused(next(history));
}

TEST_P(Conversation, AReplyBehindAnEditedMessageIsRefused) {
  std::vector<zu::Message> history = converse(2);
  history[0] = user_text("question 0, edited");
  expect_refused(next(history));
}

TEST_P(Conversation, AnEditedReplyIsRefused) {
  std::vector<zu::Message> history = converse(2);
  history[3].content.push_back(zu::Text{"a sentence the provider never wrote"});
  expect_refused(next(history));
}

TEST_P(Conversation, OtherToolsAreRefused) {
  expect_refused(next(converse(1), RequestVariant::other_tools));
}

TEST_P(Conversation, AnotherConfigurationMemberIsRefused) {
  expect_refused(next(converse(1), RequestVariant::other_setting));
}

TEST_P(Conversation, OtherEffectiveChoicesAreRefused) {
  zu::descriptor::EffectiveChoices choices;
  choices.max_output_tokens = 1024;
  expect_refused(family_context(family(), descriptor_, converse(1), RequestVariant::baseline,
                                choices));
}

TEST_P(Conversation, AnotherDescriptorIsRefused) {
  const std::vector<zu::Message> history = converse(1);
  auto fields = zu_test::descriptor_fields(zu_test::family_name(family()));
  fields.base_url = "https://other.example.test";
  expect_refused(family_context(family(), zu::descriptor::ValidatedDescriptor(fields), history));

  // The policy's identity is part of the descriptor too.
  auto renamed = zu_test::descriptor_fields(zu_test::family_name(family()),
                                            zu_test::make_policy("zu.test.other-policy.v1"));
  expect_refused(family_context(family(), zu::descriptor::ValidatedDescriptor(renamed), history));
}

TEST_P(Conversation, TheOtherPathIsRefusedExceptWhereTheDigestCoversBoth) {
  const ContextPtr streamed = family_context(family(), descriptor_, converse(1),
                                             RequestVariant::baseline, {}, /*streaming=*/true);
  if (family() == Family::gemini) {
    EXPECT_TRUE(streamed->history_replayable);
  } else {
    expect_refused(streamed);
  }
}

TEST_P(Conversation, AReplyDecodedUnderADecodingOnlyCopyIsRefused) {
  std::vector<zu::Message> history{user_text("question")};
  const ContextPtr context = next(history)->decoding_only();
  history.push_back(issued(reply(family(), "r0", "answer"), context));
  EXPECT_FALSE(history.back().replay->valid);
  history.push_back(user_text("next"));
  expect_refused(next(history));
}

TEST_P(Conversation, AnInvalidTokenRefusesTheRestOfTheChain) {
  std::vector<zu::Message> history{user_text("question")};
  const ContextPtr context = next(history);
  zu::Message unbound = reply(family(), "r0", "answer");
  const zu::StopReason stop{zu::StopKind::turn_ended, {}};
  unbound.replay = zu::CodecAccess::replay(context, unbound, &stop, /*bind=*/false);
  history.push_back(std::move(unbound));
  history.push_back(user_text("next"));
  const ContextPtr refused = next(history);
  expect_refused(refused);

  // The chain stops at the refused reply: the prefix covers only what came before it,
  // and a reply issued under the refusing context is not valid either.
  EXPECT_EQ(refused->prefix_digest, context->prefix_digest);
  const zu::Message after = issued(reply(family(), "r1", "answer"), refused);
  EXPECT_FALSE(after.replay->valid);
}

std::string family_label(const ::testing::TestParamInfo<Family>& param) {
  switch (param.param) {
    case Family::messages: return "messages";
    case Family::responses: return "responses";
    case Family::gemini: return "gemini";
    case Family::interactions: return "interactions";
    case Family::chat: return "chat";
  }
  return "unknown";
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, Conversation, ::testing::ValuesIn(zu_test::kAllFamilies),
                         family_label);

// ---- Raw chat inputs ----

zu::chat::Request chat_request() {
  zu::chat::Request request{.model = "chat-1"};
  request.tools.push_back({"get_weather", "Weather by city", zu_test::weather_schema()});
  return request;
}

TEST(ChatInputs, BindToTheSamePrefixAsTheSameConversationAsMessages) {
  const auto descriptor = zu_test::make_descriptor(Family::chat);
  const auto image_data = std::make_shared<const std::string>("iVBORw0KGgo=");
  zu::ToolCall call{"call_1", "get_weather", zu::ToolCallKind::client,
                    zu_test::shared_document(R"({"city":"Oslo"})"), "", nullptr};

  zu::chat::Request raw = chat_request();
  raw.inputs = {
      {zu::Role::system, "Be brief.", {}, "", {}},
      {zu::Role::user, "What is this?", {}, "", {zu::Image{"image/png", image_data, zu::ImageDetail::low}}},
      {zu::Role::user, "", {}, "", {zu::Image{"image/png", image_data, zu::ImageDetail::high}}},
      {zu::Role::assistant, "", {call}, "", {}},
      // A tool input is its result alone; anything else it carries is not sent.
      {zu::Role::tool, "sunny", {call}, "call_1", {}},
  };
  zu::chat::Request as_messages = chat_request();
  as_messages.messages = {
      {"", zu::Role::system, {zu::Text{"Be brief."}}, nullptr, nullptr},
      {"", zu::Role::user,
       {zu::Image{"image/png", image_data, zu::ImageDetail::low}, zu::Text{"What is this?"}},
       nullptr, nullptr},
      {"", zu::Role::user, {zu::Image{"image/png", image_data, zu::ImageDetail::high}}, nullptr,
       nullptr},
      {"", zu::Role::assistant, {zu::Text{""}, call}, nullptr, nullptr},
      {"", zu::Role::tool, {zu::ToolResult{"call_1", "sunny", false, {}}}, nullptr, nullptr},
  };

  const ContextPtr from_inputs = zu::CodecAccess::context(descriptor, raw, {}, false);
  const ContextPtr from_messages = zu::CodecAccess::context(descriptor, as_messages, {}, false);
  ASSERT_TRUE(from_inputs->bound);
  EXPECT_TRUE(from_inputs->history_replayable);
  EXPECT_EQ(from_inputs->history_count, 5u);
  EXPECT_EQ(from_inputs->prefix_digest, from_messages->prefix_digest);

  // The messages win when a request has both.
  zu::chat::Request both = as_messages;
  both.inputs = {{zu::Role::user, "something else", {}, "", {}}};
  EXPECT_EQ(zu::CodecAccess::context(descriptor, both, {}, false)->prefix_digest,
            from_messages->prefix_digest);
  EXPECT_EQ(zu::CodecAccess::context(descriptor, both, {}, false)->history_count, 5u);
}

TEST(ChatInputs, AReplyToRawInputsIsAcceptedWhenTheNextRequestSendsMessages) {
  const auto descriptor = zu_test::make_descriptor(Family::chat);
  zu::chat::Request first = chat_request();
  first.inputs = {{zu::Role::user, "What is the weather?", {}, "", {}}};
  const ContextPtr context = zu::CodecAccess::context(descriptor, first, {}, false);
  const zu::Message answer = issued(reply(Family::chat, "chatcmpl-1", "Sunny."), context);
  ASSERT_TRUE(answer.replay->valid);

  zu::chat::Request second = chat_request();
  second.messages = {user_text("What is the weather?"), answer, user_text("Tomorrow?")};
  const ContextPtr next = zu::CodecAccess::context(descriptor, second, {}, false);
  EXPECT_TRUE(next->bound);
  EXPECT_TRUE(next->history_replayable);

  second.messages[0] = user_text("What was the weather?");
  EXPECT_FALSE(zu::CodecAccess::context(descriptor, second, {}, false)->history_replayable);
}

TEST(ChatInputs, AnInputOverTheBudgetLeavesTheContextUnbound) {
  auto fields = zu_test::descriptor_fields("openai.chat");
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 512;
  fields.policy = zu_test::make_policy("zu.test.policy.v1", tight);
  const zu::descriptor::ValidatedDescriptor descriptor(fields);
  zu::chat::Request request{.model = "chat-1"};
  request.inputs = {{zu::Role::user, "short", {}, "", {}},
                    {zu::Role::user, std::string(600, 'x'), {}, "", {}}};
  const ContextPtr context = zu::CodecAccess::context(descriptor, request, {}, false);
  EXPECT_FALSE(context->bound);
  EXPECT_TRUE(context->history_replayable);
}

}  // namespace
