// Why a binding ended, and at which message: each refusal reached by a history a host
// could really send, and the admission query that answers for one message.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::family_context;
using zu_test::issued;
using zu_test::reply;
using zu_test::shared_document;
using zu_test::user_text;
using Reason = zu::NativeContext::RefusalReason;
using Position = std::optional<std::uint64_t>;

// refused checks the flag that the reason lowers, the reason and the position.
void expect_unbound(const ContextPtr& context, Reason why, Position at) {
  EXPECT_FALSE(context->bound);
  EXPECT_EQ(zu::NativeContext::refusal_name(context->refusal),
            zu::NativeContext::refusal_name(why));
  EXPECT_EQ(context->refusal_position, at);
}

void expect_refused(const ContextPtr& context, Reason why, Position at) {
  EXPECT_TRUE(context->bound);
  EXPECT_FALSE(context->history_replayable);
  EXPECT_EQ(zu::NativeContext::refusal_name(context->refusal),
            zu::NativeContext::refusal_name(why));
  EXPECT_EQ(context->refusal_position, at);
}

zu::Message assistant(std::vector<zu::ContentBlock> blocks) {
  return {"", zu::Role::assistant, std::move(blocks), nullptr, nullptr};
}

zu::descriptor::ValidatedDescriptor with_resources(Family family,
                                                   zu::descriptor::CodecResources resources) {
  return zu::descriptor::ValidatedDescriptor(zu_test::descriptor_fields(
      zu_test::family_name(family), zu_test::make_policy("zu.test.policy.v1", resources)));
}

// ---- The request as a whole ----

TEST(RefusalReason, AReplayableHistoryHasNone) {
  for (Family family : zu_test::kAllFamilies) {
    SCOPED_TRACE(zu_test::family_name(family));
    const auto descriptor = zu_test::make_descriptor(family);
    const ContextPtr first = family_context(family, descriptor, {user_text("q")});
    const ContextPtr second =
        family_context(family, descriptor,
                       {user_text("q"), issued(reply(family, "r", "a"), first), user_text("q2")});
    ASSERT_TRUE(second->bound && second->history_replayable);
    EXPECT_EQ(second->refusal, Reason::none);
    EXPECT_EQ(second->refusal_position, std::nullopt);
  }
}

TEST(RefusalReason, TheDescriptorAndTheConfigurationHaveNoPosition) {
  expect_unbound(
      family_context(Family::messages, zu_test::make_descriptor(Family::chat), {user_text("q")}),
      Reason::descriptor_other_family, std::nullopt);
  const zu::descriptor::ValidatedDescriptor no_policy(
      zu_test::descriptor_fields("anthropic.messages", nullptr));
  expect_unbound(family_context(Family::messages, no_policy, {user_text("q")}),
                 Reason::descriptor_digest_failed, std::nullopt);
  // The tool schema nests two levels; the descriptor holds no JSON at all.
  zu::descriptor::CodecResources shallow = zu_test::kRoomyResources;
  shallow.max_json_depth = 1;
  expect_unbound(
      family_context(Family::gemini, with_resources(Family::gemini, shallow), {user_text("q")}),
      Reason::configuration_digest_failed, std::nullopt);
}

// ---- Admission ----

// The case that cost a first user the most time: an "anthropic.messages" reply whose
// provider JSON was kept in `native` gets a valid token, and no later history takes it.
TEST(RefusalReason, AMessagesReplyWithNativeIsFlaggedWhenItsTokenIsIssued) {
  const auto descriptor = zu_test::make_descriptor(Family::messages);
  const ContextPtr first = family_context(Family::messages, descriptor, {user_text("q")});
  zu::Message answer = reply(Family::messages, "msg_1", "Paris.");
  answer.native = shared_document(R"([{"type":"thinking","thinking":"t","signature":"s"}])");
  answer = issued(std::move(answer), first);
  EXPECT_TRUE(answer.replay->valid);
  EXPECT_EQ(first->admission(answer), Reason::native_present);

  expect_refused(
      family_context(Family::messages, descriptor, {user_text("q"), answer, user_text("q2")}),
      Reason::native_present, 1);
  answer.native = nullptr;
  EXPECT_EQ(first->admission(answer), Reason::none);
}

// A refusal check on an edited reply passes for the wrong reason when the unedited
// history was never replayable; the reasons tell the two apart.
TEST(RefusalReason, AnEditedReplyIsToldApartFromABaselineThatWasNeverReplayable) {
  const auto descriptor = zu_test::make_descriptor(Family::messages);
  const ContextPtr first = family_context(Family::messages, descriptor, {user_text("q")});
  for (bool with_native : {true, false}) {
    SCOPED_TRACE(with_native ? "baseline with native" : "baseline without native");
    zu::Message answer = reply(Family::messages, "msg_1", "Paris.");
    if (with_native) answer.native = shared_document("[]");
    answer = issued(std::move(answer), first);
    zu::Message edited = answer;
    std::get<zu::Text>(edited.content[1]).text = "Lyon.";

    const ContextPtr baseline =
        family_context(Family::messages, descriptor, {user_text("q"), answer, user_text("q2")});
    const ContextPtr tampered =
        family_context(Family::messages, descriptor, {user_text("q"), edited, user_text("q2")});
    EXPECT_FALSE(tampered->history_replayable);
    if (with_native) {
      expect_refused(baseline, Reason::native_present, 1);
      expect_refused(tampered, Reason::native_present, 1);
    } else {
      EXPECT_EQ(baseline->refusal, Reason::none);
      expect_refused(tampered, Reason::token_other_content, 1);
    }
  }
}

TEST(RefusalReason, EachAdmissionRuleHasItsReason) {
  const zu::Image image{"image/png", std::make_shared<const std::string>("iVBORw0KGgo="),
                        zu::ImageDetail::automatic};
  zu::Message user_with_native = user_text("q");
  user_with_native.native = shared_document("[]");
  const struct {
    Family family;
    zu::Message message;
    Reason why;
  } cases[] = {
      {Family::messages, assistant({zu::Reasoning{"rs", {}, {}, {}, {}}}), Reason::forbidden_block},
      {Family::messages, assistant({zu::Text{"x"}, zu::Opaque{"item", {}}}),
       Reason::forbidden_block},
      {Family::responses, user_with_native, Reason::native_present},
      {Family::responses, assistant({zu::Text{"x"}}), Reason::role_without_token},
      {Family::interactions, assistant({zu::Text{"x"}}), Reason::role_without_token},
      {Family::gemini, assistant({zu::Text{"x"}}), Reason::role_without_token},
      {Family::gemini,
       {"", zu::Role::user, {zu::Text{"x"}, image, zu::Refusal{"no", ""}}, nullptr, nullptr},
       Reason::block_without_token},
      {Family::interactions,
       {"", zu::Role::tool, {zu::Thought{{"t"}, {}}}, nullptr, nullptr},
       Reason::block_without_token},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(zu_test::family_name(c.family));
    SCOPED_TRACE(zu::NativeContext::refusal_name(c.why));
    const ContextPtr context = family_context(c.family, zu_test::make_descriptor(c.family),
                                              {user_text("q"), user_text("q2"), c.message});
    expect_refused(context, c.why, 2);
    EXPECT_EQ(context->admission(c.message), c.why);
  }
}

TEST(RefusalReason, AGeminiPlainAssistantTurnDependsOnTheHistoryMode) {
  const auto descriptor = zu_test::make_descriptor(Family::gemini);
  const zu::Message plain = assistant({zu::Text{"Checking."}});
  zu::ToolCall streamed{"call_1", "get_weather", zu::ToolCallKind::client, nullptr, "{", nullptr};
  const zu::Message partial = assistant({zu::Text{"Checking."}, streamed});

  zu::gemini::Request request{.model = "gen-1"};
  request.messages = {user_text("q"), plain, user_text("q2"), partial};
  const ContextPtr strict = zu::CodecAccess::context(descriptor, request, {}, false);
  expect_refused(strict, Reason::role_without_token, 1);
  request.history_mode = zu::gemini::HistoryMode::allow_plain_assistant;
  const ContextPtr allowing = zu::CodecAccess::context(descriptor, request, {}, false);
  expect_refused(allowing, Reason::block_without_token, 3);

  EXPECT_EQ(strict->admission(plain), Reason::role_without_token);
  EXPECT_EQ(strict->admission(plain, zu::gemini::HistoryMode::allow_plain_assistant), Reason::none);
  EXPECT_EQ(strict->admission(partial, zu::gemini::HistoryMode::allow_plain_assistant),
            Reason::block_without_token);
  // The other families take no notice of the mode.
  const ContextPtr chat = family_context(Family::chat, zu_test::make_descriptor(Family::chat), {});
  EXPECT_EQ(chat->admission(partial, zu::gemini::HistoryMode::strict), Reason::none);
}

TEST(RefusalReason, AReplayedMessageMustBeTheAssistantsWithItsItems) {
  for (Family family : {Family::responses, Family::gemini, Family::interactions}) {
    SCOPED_TRACE(zu_test::family_name(family));
    const auto descriptor = zu_test::make_descriptor(family);
    const ContextPtr first = family_context(family, descriptor, {user_text("q")});
    const zu::Message answer = issued(reply(family, "r", "a"), first);
    ASSERT_EQ(first->admission(answer), Reason::none);

    zu::Message as_user = answer;
    as_user.role = zu::Role::user;
    zu::Message no_items = answer;
    no_items.native = shared_document(R"({"items":[]})");
    for (const auto& [message, why] : {std::pair{as_user, Reason::token_not_assistant},
                                       std::pair{no_items, Reason::token_without_items}}) {
      expect_refused(family_context(family, descriptor, {user_text("q"), message}), why, 1);
      EXPECT_EQ(first->admission(message), why);
    }
    // The same reply without its token is the host's writing: no native is admitted.
    zu::Message untokened = answer;
    untokened.replay = nullptr;
    EXPECT_EQ(first->admission(untokened), Reason::native_present);
  }
}

// ---- Digests of a message ----

TEST(RefusalReason, AMessageOverTheBudgetUnbindsAtItsPosition) {
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 1024;
  const auto descriptor = with_resources(Family::messages, tight);
  expect_unbound(
      family_context(Family::messages, descriptor,
                     {user_text("q"), user_text("q2"), user_text(std::string(2000, 'x'))}),
      Reason::content_digest_failed, 2);

  auto chat_fields =
      zu_test::descriptor_fields("openai.chat", zu_test::make_policy("zu.test.policy.v1", tight));
  zu::chat::Request raw{.model = "chat-1"};
  raw.inputs = {{zu::Role::user, "short", {}, "", {}},
                {zu::Role::user, std::string(2000, 'x'), {}, "", {}}};
  expect_unbound(
      zu::CodecAccess::context(zu::descriptor::ValidatedDescriptor(chat_fields), raw, {}, false),
      Reason::content_digest_failed, 1);
}

// ---- The token's proof ----

class TokenProof : public ::testing::Test {
 protected:
  // turn returns the history of a second request: a question, the reply issued under
  // the first request's context, another question.
  std::vector<zu::Message> turn(const ContextPtr& first, Family family = Family::messages) const {
    return {user_text("q"), issued(reply(family, "msg_1", "Paris."), first), user_text("q2")};
  }

  ContextPtr first(bool streaming = false) const {
    return family_context(Family::messages, descriptor_, {user_text("q")},
                          zu_test::RequestVariant::baseline, {}, streaming);
  }

  ContextPtr next(std::vector<zu::Message> history,
                  zu_test::RequestVariant variant = zu_test::RequestVariant::baseline) const {
    return family_context(Family::messages, descriptor_, std::move(history), variant);
  }

  zu::descriptor::ValidatedDescriptor descriptor_ = zu_test::make_descriptor(Family::messages);
};

TEST_F(TokenProof, ATokenWithoutAContextOrNotValid) {
  std::vector<zu::Message> history = turn(first());
  const zu::StopReason stop{zu::StopKind::turn_ended, {}};
  history[1].replay = zu::CodecAccess::replay(nullptr, history[1], &stop, true);
  expect_refused(next(history), Reason::token_no_context, 1);

  history[1].replay = zu::CodecAccess::replay(first(), history[1], &stop, /*bind=*/false);
  expect_refused(next(history), Reason::token_not_valid, 1);
  history[1].replay = zu::CodecAccess::replay(first()->decoding_only(), history[1], &stop, true);
  expect_refused(next(history), Reason::token_not_valid, 1);
}

TEST_F(TokenProof, ATokenOfAnotherFamilyPathOrDescriptor) {
  // A chat reply has the blocks this family admits; only its token tells it apart.
  const auto chat = zu_test::make_descriptor(Family::chat);
  expect_refused(next(turn(family_context(Family::chat, chat, {user_text("q")}), Family::chat)),
                 Reason::token_other_family, 1);
  // This family's descriptor digest leaves the path to the comparison.
  expect_refused(next(turn(first(/*streaming=*/true))), Reason::token_other_path, 1);

  auto other_fields = zu_test::descriptor_fields("anthropic.messages");
  other_fields.id = "another-deployment";
  const zu::descriptor::ValidatedDescriptor other(other_fields);
  expect_refused(next(turn(family_context(Family::messages, other, {user_text("q")}))),
                 Reason::token_other_descriptor, 1);
}

TEST_F(TokenProof, AReplyMovedBehindAnotherPrefixOrEdited) {
  std::vector<zu::Message> moved = turn(first());
  moved.insert(moved.begin(), user_text("an earlier question"));
  expect_refused(next(moved), Reason::token_other_position, 2);

  std::vector<zu::Message> earlier_edited = turn(first());
  earlier_edited[0] = user_text("another question");
  expect_refused(next(earlier_edited), Reason::token_other_prefix, 1);
  expect_refused(next(turn(first()), zu_test::RequestVariant::other_tools),
                 Reason::token_other_prefix, 1);

  std::vector<zu::Message> edited = turn(first());
  std::get<zu::Text>(edited[1].content[1]).text = "Lyon.";
  expect_refused(next(edited), Reason::token_other_content, 1);
}

TEST_F(TokenProof, ADecodingOnlyCopyKeepsTheReason) {
  std::vector<zu::Message> history = turn(first());
  history.insert(history.begin(), user_text("an earlier question"));
  const ContextPtr refused = next(history);
  const ContextPtr copy = refused->decoding_only();
  EXPECT_EQ(copy->refusal, Reason::token_other_position);
  EXPECT_EQ(copy->refusal_position, std::optional<std::uint64_t>(2));
}

// ---- Continuations ----

class Continuation : public ::testing::Test {
 protected:
  static zu::responses::Request request(std::vector<zu::Message> input, std::string cursor,
                                        std::vector<zu::Message> previous,
                                        std::string model = "resp-1") {
    return zu_test::responses_request(std::move(input), std::move(cursor), std::move(previous),
                                      std::move(model));
  }

  ContextPtr context(const zu::responses::Request& r) const {
    return zu::CodecAccess::context(descriptor_, r, {}, true);
  }

  // continued returns a reply made by a continuation, which later continuations chain
  // from.
  zu::Message continued(bool bind = true) const {
    const ContextPtr c0 = context(zu_test::responses_request({user_text("q0")}));
    const zu::Message answer0 = issued(reply(Family::responses, "resp_0", "a0"), c0);
    const ContextPtr c1 = context(request({user_text("q1")}, "resp_0", {user_text("q0"), answer0}));
    zu::Message answer1 = reply(Family::responses, "resp_1", "a1");
    const zu::StopReason stop{zu::StopKind::turn_ended, {}};
    answer1.replay = zu::CodecAccess::replay(c1, answer1, &stop, bind);
    return answer1;
  }

  zu::descriptor::ValidatedDescriptor descriptor_ = zu_test::make_descriptor(Family::responses);
};

TEST_F(Continuation, InputPositionsFollowThePreviousMessages) {
  const zu::Message answer = issued(reply(Family::responses, "resp_0", "a0"),
                                    context(zu_test::responses_request({user_text("q0")})));
  const ContextPtr c = context(
      request({user_text("q1"), assistant({zu::Text{"x"}})}, "resp_0", {user_text("q0"), answer}));
  expect_refused(c, Reason::role_without_token, 3);

  zu::Message edited = answer;
  std::get<zu::Text>(edited.content[1]).text = "changed";
  expect_refused(context(request({user_text("q1")}, "resp_0", {user_text("q0"), edited})),
                 Reason::token_other_content, 1);
}

TEST_F(Continuation, ThePreviousMessagesMustEndInTheNamedReply) {
  const zu::Message last = continued();
  expect_refused(context(request({user_text("q2")}, "resp_other", {last})), Reason::cursor_reply,
                 0);
  expect_refused(context(request({user_text("q2")}, "resp_1", {user_text("q1"), last})),
                 Reason::cursor_reply, 1);
  EXPECT_EQ(context(request({user_text("q2")}, "resp_1", {last}))->refusal, Reason::none);
}

TEST_F(Continuation, AChainedReplyIsProvenLikeAToken) {
  expect_refused(context(request({user_text("q2")}, "resp_1", {continued(/*bind=*/false)})),
                 Reason::token_not_valid, 0);
  expect_refused(context(request({user_text("q2")}, "resp_1", {continued()}, "resp-2")),
                 Reason::token_other_prefix, 0);
  zu::Message edited = continued();
  std::get<zu::Text>(edited.content[1]).text = "changed";
  expect_refused(context(request({user_text("q2")}, "resp_1", {edited})),
                 Reason::token_other_content, 0);
}

TEST_F(Continuation, ACursorOverTheBudgetUnbindsWithoutAPosition) {
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 2048;
  descriptor_ = with_resources(Family::responses, tight);
  expect_unbound(context(request({user_text("q")}, std::string(3000, 'c'), {})),
                 Reason::prefix_digest_failed, std::nullopt);
}

TEST(RefusalReason, EveryValueHasAName) {
  for (int value = 0; value <= static_cast<int>(Reason::not_recorded); ++value)
    EXPECT_NE(zu::NativeContext::refusal_name(static_cast<Reason>(value)), "unknown") << value;
  EXPECT_EQ(zu::NativeContext::refusal_name(static_cast<Reason>(99)), "unknown");
}

}  // namespace
