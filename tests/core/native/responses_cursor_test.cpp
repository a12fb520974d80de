// Requests of the "openai.responses" family that continue a previous response by its
// identifier, over several turns.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::issued;
using zu_test::reply;
using zu_test::user_text;

class ResponsesCursor : public ::testing::Test {
 protected:
  zu::responses::Request request(std::vector<zu::Message> input,
                                 std::optional<std::string> cursor = std::nullopt,
                                 std::vector<zu::Message> previous = {}) const {
    zu::responses::Request r =
        zu_test::responses_request(std::move(input), std::move(cursor), std::move(previous));
    r.tools.push_back({"get_weather", "Weather by city", zu_test::weather_schema(), true, {}});
    return r;
  }

  ContextPtr context(const zu::responses::Request& r) const {
    return zu::CodecAccess::context(descriptor_, r, {}, true);
  }

  static void expect_continued(const ContextPtr& c) {
    EXPECT_TRUE(c->bound);
    EXPECT_TRUE(c->history_replayable);
    EXPECT_TRUE(c->cursor_mode);
    EXPECT_FALSE(c->can_issue_replays);
  }

  // first_turn answers one question without a cursor.
  std::pair<zu::Message, zu::Message> first_turn() const {
    zu::Message question = user_text("question 0");
    const ContextPtr c = context(request({question}));
    EXPECT_FALSE(c->cursor_mode);
    zu::Message answer = issued(reply(Family::responses, "resp_0", "answer 0"), c);
    EXPECT_TRUE(answer.replay->valid);
    EXPECT_FALSE(answer.replay->cursor_capable);
    return {std::move(question), std::move(answer)};
  }

  zu::descriptor::ValidatedDescriptor descriptor_ = zu_test::make_descriptor(Family::responses);
};

TEST_F(ResponsesCursor, AChainOfContinuationsStaysReplayable) {
  auto [question, answer] = first_turn();

  // Turn 1 continues an ordinary response: the previous messages bind as a history.
  ContextPtr c = context(request({user_text("question 1")}, answer.id, {question, answer}));
  expect_continued(c);
  zu::Message last = issued(reply(Family::responses, "resp_1", "answer 1"), c);
  EXPECT_FALSE(last.replay->valid);
  EXPECT_TRUE(last.replay->cursor_capable);

  // Later turns continue a continuation: only its reply comes along.
  std::vector<zu::Digest> prefixes{c->prefix_digest};
  for (int turn = 2; turn < 5; ++turn) {
    c = context(request({user_text("question " + std::to_string(turn))}, last.id, {last}));
    expect_continued(c);
    prefixes.push_back(c->prefix_digest);
    last = issued(reply(Family::responses, "resp_" + std::to_string(turn), "answer"), c);
    EXPECT_TRUE(last.replay->cursor_capable) << "turn " << turn;
  }
  for (std::size_t i = 1; i < prefixes.size(); ++i) EXPECT_NE(prefixes[i], prefixes[i - 1]);
}

TEST_F(ResponsesCursor, AContinuationMustNameTheLastPreviousMessage) {
  auto [question, answer] = first_turn();
  const ContextPtr wrong_id = context(request({user_text("q")}, "resp_9", {question, answer}));
  EXPECT_TRUE(wrong_id->bound);
  EXPECT_FALSE(wrong_id->history_replayable);
  // Construction stopped before the cursor and the input were bound.
  EXPECT_EQ(wrong_id->prefix_digest, wrong_id->configuration_digest);

  zu::Message without_items = answer;
  without_items.native = zu_test::shared_document(R"({"type":"message"})");
  EXPECT_FALSE(context(request({}, answer.id, {question, without_items}))->history_replayable);

  zu::Message without_token = answer;
  without_token.replay = nullptr;
  EXPECT_FALSE(context(request({}, answer.id, {question, without_token}))->history_replayable);

  zu::Message not_assistant = answer;
  not_assistant.role = zu::Role::user;
  EXPECT_FALSE(context(request({}, answer.id, {question, not_assistant}))->history_replayable);
}

TEST_F(ResponsesCursor, AContinuationOfAContinuationTakesItsReplyAlone) {
  auto [question, answer] = first_turn();
  const ContextPtr c1 = context(request({user_text("question 1")}, answer.id, {question, answer}));
  const zu::Message second = issued(reply(Family::responses, "resp_1", "answer 1"), c1);
  ASSERT_TRUE(c1->history_replayable);

  EXPECT_TRUE(context(request({}, second.id, {second}))->history_replayable);
  EXPECT_FALSE(context(request({}, second.id, {user_text("question 1"), second}))->history_replayable);

  zu::Message edited = second;
  edited.content.push_back(zu::Text{"added later"});
  EXPECT_FALSE(context(request({}, second.id, {edited}))->history_replayable);

  zu::responses::Request other_tools = request({}, second.id, {second});
  other_tools.tools[0].name = "get_time";
  EXPECT_FALSE(context(other_tools)->history_replayable);

  zu::responses::Request other_model = request({}, second.id, {second});
  other_model.model = "resp-2";
  EXPECT_FALSE(context(other_model)->history_replayable);

  // The reply of a continuation is refused as a replay, since its context could issue
  // none; only its cursor carries it on.
  EXPECT_FALSE(context(request({second}))->history_replayable);
}

TEST_F(ResponsesCursor, ACursorWithoutPreviousMessagesStartsFromTheCursorDigest) {
  const ContextPtr plain = context(request({}));
  const ContextPtr one = context(request({}, "resp_1"));
  const ContextPtr same = context(request({}, "resp_1"));
  const ContextPtr other = context(request({}, "resp_2"));
  expect_continued(one);
  EXPECT_EQ(one->configuration_digest, plain->configuration_digest);
  EXPECT_EQ(plain->prefix_digest, plain->configuration_digest);
  EXPECT_NE(one->prefix_digest, one->configuration_digest);
  EXPECT_EQ(one->prefix_digest, same->prefix_digest);
  EXPECT_NE(one->prefix_digest, other->prefix_digest);

  const ContextPtr with_input = context(request({user_text("hello")}, "resp_1"));
  EXPECT_TRUE(with_input->history_replayable);
  EXPECT_EQ(with_input->history_count, 1u);
  EXPECT_NE(with_input->prefix_digest, one->prefix_digest);
}

TEST_F(ResponsesCursor, OpenServerCallsOfThePreviousMessagesStayInOneSortedList) {
  // The previous reply opens three provider-run calls and answers one of them; the
  // input that follows binds as a second run over the same list.
  zu::Message question = user_text("search");
  const ContextPtr c0 = context(request({question}));
  zu::Message answer = reply(Family::responses, "resp_0", "searching");
  answer.content.push_back(zu::ToolCall{"srv_c", "web_search", zu::ToolCallKind::server, {}, "", {}});
  answer.content.push_back(zu::ToolCall{"srv_a", "file_search", zu::ToolCallKind::server, {}, "", {}});
  answer.content.push_back(zu::ToolCall{"srv_b", "code", zu::ToolCallKind::server, {}, "", {}});
  answer.content.push_back(zu::ServerToolResult{"srv_b", "code", nullptr});
  answer = issued(std::move(answer), c0);
  ASSERT_TRUE(answer.replay->valid);

  const ContextPtr c = context(request(
      {user_text("go on"), zu_test::tool_answer("call_1", "done")}, answer.id, {question, answer}));
  ASSERT_TRUE(c->history_replayable);
  const std::vector<std::pair<std::string, std::string>> expected{
      {"srv_a", "file_search"}, {"srv_c", "web_search"}};
  EXPECT_EQ(c->server_tool_calls, expected);
  EXPECT_EQ(c->server_tool_name("srv_a"), "file_search");
  EXPECT_EQ(c->server_tool_name("srv_c"), "web_search");
  EXPECT_EQ(c->server_tool_name("srv_b"), std::nullopt);
}

}  // namespace
