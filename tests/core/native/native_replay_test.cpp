// Replay tokens: when a reply may be sent back, and when the archive may keep it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;
using zu_test::family_context;
using zu_test::reply;
using zu_test::shared_document;
using zu_test::user_text;

ContextPtr fresh_context(Family family) {
  return family_context(family, zu_test::make_descriptor(family), {user_text("hi")});
}

std::shared_ptr<const zu::NativeReplay> token(const ContextPtr& context, const zu::Message& message,
                                              std::optional<std::int32_t> kind, bool bind = true) {
  if (!kind) return zu::CodecAccess::replay(context, message, nullptr, bind);
  const zu::StopReason stop{zu::StopKind{*kind}, "provider text"};
  return zu::CodecAccess::replay(context, message, &stop, bind);
}

TEST(NativeReplay, RecordsTheContextStopKindAndContentDigest) {
  const ContextPtr context = fresh_context(Family::messages);
  const zu::Message answer = reply(Family::messages, "m", "x");
  const auto replay = token(context, answer, 1);
  EXPECT_EQ(replay->context, context);
  EXPECT_EQ(replay->stop_kind, zu::StopKind::tool_use);
  EXPECT_TRUE(replay->valid);
  EXPECT_FALSE(replay->cursor_capable);
  EXPECT_NE(replay->content_digest, zu::Digest{});
  EXPECT_EQ(token(context, answer, 1)->content_digest, replay->content_digest);
  EXPECT_NE(token(context, reply(Family::messages, "m", "y"), 1)->content_digest,
            replay->content_digest);
}

TEST(NativeReplay, WithoutBindingOrAStopReasonItIsNeverValid) {
  for (Family family : zu_test::kAllFamilies) {
    SCOPED_TRACE(zu_test::family_name(family));
    const ContextPtr context = fresh_context(family);
    const zu::Message answer = reply(family, "r", "x");
    const auto unbound = token(context, answer, 0, /*bind=*/false);
    EXPECT_FALSE(unbound->valid);
    EXPECT_EQ(unbound->content_digest, zu::Digest{});
    EXPECT_EQ(unbound->stop_kind, zu::StopKind::turn_ended);
    const auto no_stop = token(context, answer, std::nullopt);
    EXPECT_FALSE(no_stop->valid);
    EXPECT_EQ(no_stop->stop_kind, zu::StopKind::not_given);
    EXPECT_EQ(no_stop->context, context);
    EXPECT_TRUE(token(context, answer, 0)->valid);
  }
}

TEST(NativeReplay, ItemFamiliesNeedAnAssistantItemArrayAndACompleteStop) {
  for (Family family : {Family::responses, Family::gemini, Family::interactions}) {
    SCOPED_TRACE(zu_test::family_name(family));
    const ContextPtr context = fresh_context(family);
    const zu::Message answer = reply(family, "r", "x");
    for (std::int32_t kind : {0, 1, 5}) EXPECT_TRUE(token(context, answer, kind)->valid) << kind;
    for (std::int32_t kind : {2, 3, 4, 6, 9, 10}) EXPECT_FALSE(token(context, answer, kind)->valid) << kind;

    zu::Message as_user = answer;
    as_user.role = zu::Role::user;
    EXPECT_FALSE(token(context, as_user, 0)->valid);
    zu::Message no_items = answer;
    no_items.native = nullptr;
    EXPECT_FALSE(token(context, no_items, 0)->valid);
    zu::Message object_items = answer;
    object_items.native = shared_document(R"({"type":"message"})");
    EXPECT_FALSE(token(context, object_items, 0)->valid);
  }
}

TEST(NativeReplay, MessagesAndChatIgnoreRoleAndNativeDocument) {
  for (Family family : {Family::messages, Family::chat}) {
    SCOPED_TRACE(zu_test::family_name(family));
    const ContextPtr context = fresh_context(family);
    zu::Message odd = user_text("not an assistant");
    odd.native = shared_document(R"({"whatever":1})");
    EXPECT_TRUE(token(context, odd, 4)->valid);
    EXPECT_FALSE(token(context, odd, std::nullopt)->valid);
  }
}

TEST(NativeReplay, AGeminiReplyWithAnInvalidToolCallIsNeverValid) {
  const ContextPtr context = fresh_context(Family::gemini);
  zu::Message answer = reply(Family::gemini, "r", "x");
  answer.content.push_back(zu::InvalidToolCall{"c", "n", zu::ToolCallKind::client, "bad", 1, "{", {}});
  EXPECT_FALSE(token(context, answer, 0)->valid);

  // The other item families keep such a call like any other block.
  zu::Message other = reply(Family::interactions, "r", "x");
  other.content.push_back(zu::InvalidToolCall{"c", "n", zu::ToolCallKind::client, "bad", 1, "{", {}});
  EXPECT_TRUE(token(fresh_context(Family::interactions), other, 0)->valid);
}

TEST(NativeReplay, NeedsABoundReplayableContext) {
  const zu::Message answer = reply(Family::messages, "m", "x");
  const auto orphan = token(nullptr, answer, 0);
  EXPECT_FALSE(orphan->valid);
  EXPECT_EQ(orphan->context, nullptr);
  EXPECT_FALSE(zu::CodecAccess::archive_valid(*orphan, answer));

  const ContextPtr unbound = family_context(Family::messages, zu_test::make_descriptor(Family::chat), {});
  EXPECT_FALSE(token(unbound, answer, 0)->valid);

  zu::Message opaque{"m", zu::Role::assistant, {zu::Opaque{"x", {}}}, nullptr, nullptr};
  const ContextPtr not_replayable =
      family_context(Family::messages, zu_test::make_descriptor(Family::messages), {opaque});
  ASSERT_FALSE(not_replayable->history_replayable);
  const auto refused = token(not_replayable, answer, 0);
  EXPECT_FALSE(refused->valid);
  EXPECT_EQ(refused->content_digest, zu::Digest{});
}

TEST(NativeReplay, AReplyOverTheBudgetIsNotValid) {
  auto fields = zu_test::descriptor_fields("openai.chat");
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 1024;
  fields.policy = zu_test::make_policy("zu.test.policy.v1", tight);
  const ContextPtr context =
      family_context(Family::chat, zu::descriptor::ValidatedDescriptor(fields), {});
  ASSERT_TRUE(context->bound);
  const auto replay = token(context, reply(Family::chat, "c", std::string(2000, 'x')), 0);
  EXPECT_FALSE(replay->valid);
  EXPECT_EQ(replay->content_digest, zu::Digest{});
}

TEST(NativeReplay, ArchiveValidChecksTheMessageOnlyForAValidReplay) {
  const ContextPtr context = fresh_context(Family::responses);
  const zu::Message answer = reply(Family::responses, "r", "x");
  zu::Message edited = answer;
  edited.content.push_back(zu::Text{"edited"});

  const auto valid = token(context, answer, 0);
  ASSERT_TRUE(valid->valid);
  EXPECT_TRUE(zu::CodecAccess::archive_valid(*valid, answer));
  EXPECT_FALSE(zu::CodecAccess::archive_valid(*valid, edited));

  const auto invalid = token(context, answer, 4);
  ASSERT_FALSE(invalid->valid);
  EXPECT_TRUE(zu::CodecAccess::archive_valid(*invalid, answer));
  EXPECT_TRUE(zu::CodecAccess::archive_valid(*invalid, edited));

  // A continuation's replies are kept by the provider, not by us.
  zu::responses::Request continued{.model = "resp-1"};
  continued.previous_response_id = "resp_0";
  const ContextPtr cursor =
      zu::CodecAccess::context(zu_test::make_descriptor(Family::responses), continued, {}, false);
  const auto from_cursor = token(cursor, answer, 0);
  EXPECT_FALSE(from_cursor->valid);
  EXPECT_TRUE(from_cursor->cursor_capable);
  EXPECT_FALSE(zu::CodecAccess::archive_valid(*from_cursor, answer));
}

}  // namespace
