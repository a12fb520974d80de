// Content digests of whole messages: what changes them, their budget, and failures.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "native/content_digest.hpp"
#include "shared_document.hpp"
#include "stream_bytes.hpp"

namespace {

using zu_test::be64;
using zu_test::framed;
using zu_test::sha256;
using zu_test::shared_document;

constexpr zu::digest::ContentLabels kChat{"zu.chat.content.v1", "zu.chat.output.v1"};

zu::descriptor::CodecResources budget(std::uint64_t bytes) {
  return {.max_digest_bytes = bytes, .max_json_depth = 16, .max_json_entries = 64,
          .max_message_count = 0, .max_block_count = 0};
}

std::optional<zu::Digest> digest_of(const zu::Message& message,
                                    const zu::digest::ContentLabels& labels = kChat,
                                    std::uint64_t bytes = 1u << 20) {
  zu::Digest out{};
  if (!zu::digest::content_digest(message, labels, budget(bytes), out)) return std::nullopt;
  return out;
}

zu::Message conversation_turn() {
  return {"msg_9",
          zu::Role::assistant,
          {zu::Text{"Checking."},
           zu::ToolCall{"call_1", "search", zu::ToolCallKind::client,
                        shared_document(R"({"q":"oslo"})"), "", nullptr}},
          nullptr,
          nullptr};
}

TEST(ContentDigest, IsTheFramedStreamOfTheMessage) {
  const zu::Message message{"m", zu::Role::user, {zu::Text{"hi"}}, nullptr, nullptr};
  EXPECT_EQ(digest_of(message), sha256(framed("zu.chat.content.v1") + framed("m") + be64(2) +
                                       be64(1) + be64(0) + framed("hi")));
}

TEST(ContentDigest, ChangesWithBlockOrderLabelsAndEveryMember) {
  const auto base = digest_of(conversation_turn());
  ASSERT_TRUE(base);

  zu::Message swapped = conversation_turn();
  std::swap(swapped.content[0], swapped.content[1]);
  EXPECT_NE(digest_of(swapped), base);

  EXPECT_NE(digest_of(conversation_turn(), {"zu.gemini.content.v1", "zu.gemini.output.v1"}),
            base);

  zu::Message other_id = conversation_turn();
  other_id.id = "msg_8";
  EXPECT_NE(digest_of(other_id), base);

  zu::Message other_role = conversation_turn();
  other_role.role = zu::Role::tool;
  EXPECT_NE(digest_of(other_role), base);

  zu::Message server_call = conversation_turn();
  std::get<zu::ToolCall>(server_call.content[1]).kind = zu::ToolCallKind::server;
  EXPECT_NE(digest_of(server_call), base);

  // The arguments are hashed as a value: the same JSON written differently is the same.
  zu::Message respaced = conversation_turn();
  std::get<zu::ToolCall>(respaced.content[1]).arguments = shared_document(R"({ "q" : "oslo" })");
  EXPECT_EQ(digest_of(respaced), base);
}

TEST(ContentDigest, ANativeDocumentAddsTheOutputLabel) {
  zu::Message plain = conversation_turn();
  zu::Message with_native = conversation_turn();
  with_native.native = shared_document("[]");
  EXPECT_NE(digest_of(plain), digest_of(with_native));

  // Only the output label separates the native document from the content.
  zu::Message relabelled = with_native;
  EXPECT_NE(digest_of(with_native), digest_of(relabelled, {"zu.chat.content.v1", "other"}));
}

TEST(ContentDigest, BudgetCoversTheWholeStream) {
  const zu::Message message{"m", zu::Role::user, {zu::Text{"hi"}}, nullptr, nullptr};
  const std::uint64_t size = (8 + 18) + (8 + 1) + 8 + 8 + 8 + (8 + 2);
  EXPECT_TRUE(digest_of(message, kChat, size));
  EXPECT_FALSE(digest_of(message, kChat, size - 1));
}

TEST(ContentDigest, AFailedDigestLeavesTheOutputUntouched) {
  zu::Message too_deep = conversation_turn();
  too_deep.native = shared_document(std::string(20, '[') + std::string(20, ']'));
  zu::Digest out;
  out.fill(0xA5);
  const zu::Digest before = out;
  EXPECT_FALSE(zu::digest::content_digest(too_deep, kChat, budget(1u << 20), out));
  EXPECT_EQ(out, before);
}

struct ThrowsOnConversion {
  operator std::string() const { throw std::runtime_error("no string today"); }
};

zu::ContentBlock valueless_block() {
  zu::ContentBlock block = zu::Text{"x"};
  try {
    block.emplace<zu::Text>(ThrowsOnConversion{});
  } catch (const std::runtime_error&) {
  }
  return block;
}

TEST(ContentDigest, ABlockWithoutAValueThrowsBadVariantAccess) {
  zu::Message message = conversation_turn();
  message.content.push_back(valueless_block());
  ASSERT_TRUE(message.content.back().valueless_by_exception());
  zu::Digest out{};
  EXPECT_THROW((void)zu::digest::content_digest(message, kChat, budget(1u << 20), out),
               std::bad_variant_access);

  // A digest that has already failed stops before the block and just reports failure.
  EXPECT_FALSE(zu::digest::content_digest(message, kChat, budget(40), out));
}

}  // namespace
