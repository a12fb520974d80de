// Defaults, copies and moves of the content records.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <zu/core.hpp>

#include "shared_document.hpp"

namespace {

using zu_test::shared_document;

TEST(Records, DefaultsAreThoseTheFormatsAssume) {
  const zu::Message message;
  EXPECT_EQ(message.role, zu::Role::assistant);
  EXPECT_EQ(static_cast<int>(message.role), 3);
  EXPECT_TRUE(message.id.empty());
  EXPECT_TRUE(message.content.empty());
  EXPECT_EQ(message.replay, nullptr);
  EXPECT_EQ(message.native, nullptr);

  const zu::Image image;
  EXPECT_EQ(image.media_type, "image/png");
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.detail, zu::ImageDetail::automatic);

  const zu::InvalidToolCall invalid;
  EXPECT_EQ(invalid.error_code, 5);
  EXPECT_EQ(invalid.kind, zu::ToolCallKind::client);

  const zu::ContentBlock block;
  EXPECT_EQ(block.index(), 0u);

  const zu::StopReason stop;
  EXPECT_EQ(static_cast<int>(stop.kind), 9);
}

// Digests and archive records carry these numbers, and native replay is defined by them.
TEST(Records, NamedKindsKeepTheirNumbers) {
  EXPECT_EQ(static_cast<std::int32_t>(zu::StopKind::turn_ended), 0);
  EXPECT_EQ(static_cast<std::int32_t>(zu::StopKind::tool_use), 1);
  EXPECT_EQ(static_cast<std::int32_t>(zu::StopKind::other_complete), 5);
  EXPECT_EQ(static_cast<std::int32_t>(zu::StopKind::not_given), 9);
  EXPECT_EQ(static_cast<std::int32_t>(zu::ErrorKind::unclassified), 4);
  EXPECT_EQ(static_cast<std::int32_t>(zu::ErrorKind::archive_admission), 13);
  EXPECT_EQ(zu::StopReason{}.kind, zu::StopKind::not_given);
  EXPECT_EQ(zu::Error{}.kind, zu::ErrorKind::unclassified);
}

TEST(Records, DefaultErrorAndTheArchiveErrorDifferOnlyInKindMessageAndRetryable) {
  const zu::Error plain;
  EXPECT_EQ(static_cast<int>(plain.kind), 4);
  EXPECT_EQ(plain.retryable, 1);
  EXPECT_EQ(plain.status, 0);
  EXPECT_FALSE(plain.retry_after.has_value());

  zu::Error archive{.kind = zu::ErrorKind::archive_admission,
                    .message = "Trusted local native archive admission failed",
                    .retryable = 0};
  EXPECT_EQ(static_cast<int>(archive.kind), 13);
  archive.kind = plain.kind;
  archive.message.clear();
  archive.retryable = plain.retryable;
  EXPECT_EQ(archive.status, plain.status);
  EXPECT_EQ(archive.error_detail_code, plain.error_detail_code);
  EXPECT_EQ(archive.error_detail, plain.error_detail);
  EXPECT_EQ(archive.retry_after, plain.retry_after);
  EXPECT_EQ(archive.timed_out, plain.timed_out);
  EXPECT_EQ(archive.cancelled, plain.cancelled);
  EXPECT_EQ(archive.attempts, plain.attempts);
}

TEST(Records, MovingAToolCallEmptiesTheSourceAndKeepsTheDocuments) {
  zu::ToolCall source{.id = "call_1", .name = "search", .kind = zu::ToolCallKind::server,
                      .arguments = shared_document(R"({"q":"oslo"})"),
                      .input = R"({"q":"oslo"})",
                      .native = shared_document(R"({"type":"tool_use"})")};
  const zu::json::Document* arguments = source.arguments.get();
  const zu::json::Document* native = source.native.get();

  zu::ToolCall moved = std::move(source);
  EXPECT_TRUE(source.id.empty());
  EXPECT_TRUE(source.name.empty());
  EXPECT_TRUE(source.input.empty());
  EXPECT_EQ(source.arguments, nullptr);
  EXPECT_EQ(source.native, nullptr);
  EXPECT_EQ(source.kind, zu::ToolCallKind::server);
  EXPECT_EQ(moved.arguments.get(), arguments);
  EXPECT_EQ(moved.native.get(), native);
  EXPECT_EQ(moved.id, "call_1");
}

TEST(Records, MovingKeepsAnOptionalEngagedButEmptied) {
  zu::Thinking source{.text = "a long chain of thought that is not a short string",
                      .signature = std::string(64, 's')};
  zu::Thinking moved = std::move(source);
  ASSERT_TRUE(source.signature.has_value());
  EXPECT_TRUE(source.signature->empty());
  EXPECT_TRUE(source.text.empty());
  EXPECT_EQ(*moved.signature, std::string(64, 's'));

  zu::ToolResultHostMetadata host{.label = "weather", .note = "a note long enough to allocate",
                                  .flag_a = true};
  zu::ToolResultHostMetadata target;
  target = std::move(host);
  EXPECT_TRUE(host.note.empty());
  EXPECT_TRUE(host.flag_a);
  EXPECT_EQ(target.note, "a note long enough to allocate");
}

TEST(Records, CopiesOfAMessageShareItsPayloads) {
  zu::Message original{.id = "msg_1",
                       .content = {zu::Image{.data = std::make_shared<const std::string>("AAAA")},
                                   zu::Opaque{"item", shared_document(R"({"a":1})")}},
                       .native = shared_document("[]")};
  const zu::Message copy = original;
  EXPECT_EQ(copy.native, original.native);
  EXPECT_EQ(std::get<zu::Image>(copy.content[0]).data, std::get<zu::Image>(original.content[0]).data);
  EXPECT_EQ(std::get<zu::Opaque>(copy.content[1]).payload,
            std::get<zu::Opaque>(original.content[1]).payload);
  EXPECT_EQ(original.native.use_count(), 2);
}

}  // namespace
