// The digests of the persisted format, against the table the independent Python
// reference (tests/support/digest_reference.py) computes for the same inputs. Each case
// here is built exactly as the case of the same name there.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "native/content_digest.hpp"
#include "native/digest_writer.hpp"
#include "native/json_hash.hpp"
#include "native/prefix_step.hpp"
#include "shared_document.hpp"
#include "zu/core.hpp"

namespace {

using zu_test::shared_document;

const std::map<std::string_view, std::string_view> kGolden = {
#include "golden_digests.inc"
};

constexpr zu::descriptor::CodecResources kResources{.max_digest_bytes = 1u << 20,
                                                    .max_json_depth = 16,
                                                    .max_json_entries = 64,
                                                    .max_message_count = 0,
                                                    .max_block_count = 0};
constexpr zu::digest::ContentLabels kMessages{"zu.messages.content.v1", "zu.messages.output.v1"};
constexpr zu::digest::ContentLabels kResponses{"zu.responses.content.v1",
                                               "zu.responses.output.v1"};

std::string hex(const zu::Digest& digest) {
  std::string out;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    out += pair;
  }
  return out;
}

std::string golden(std::string_view name) {
  auto it = kGolden.find(name);
  if (it == kGolden.end()) {
    ADD_FAILURE() << "no golden digest named " << name;
    return {};
  }
  return std::string(it->second);
}

std::map<std::string, zu::ContentBlock> blocks() {
  std::map<std::string, zu::ContentBlock> b;
  b["text"] = zu::Text{"Hello, world"};
  b["refusal"] = zu::Refusal{"I cannot help with that", "policy"};
  b["tool_call"] = zu::ToolCall{"call_1", "search", zu::ToolCallKind::server,
                                shared_document(R"({"q":"oslo","n":3})"), R"({"q":"oslo"})",
                                shared_document(R"({"type":"tool_use","id":"call_1"})")};
  b["tool_call_bare"] = zu::ToolCall{"call_0", "now", zu::ToolCallKind::client, nullptr, "", nullptr};
  b["invalid_tool_call"] =
      zu::InvalidToolCall{"call_2", "lookup", zu::ToolCallKind::other, "arguments are not JSON",
                          3, "{bad", shared_document(R"({"raw":"{bad"})")};
  b["thinking"] = zu::Thinking{"Let me think", "sig-1"};
  b["thinking_unsigned"] = zu::Thinking{"Let me think", std::nullopt};
  b["redacted_thinking"] = zu::RedactedThinking{"opaque-bytes"};
  b["server_tool_result"] = zu::ServerToolResult{
      "srv_1", "web_search", shared_document(R"([{"url":"https://example.test","title":"Example"}])")};
  b["tool_result"] = zu::ToolResult{"call_1", "sunny", true,
                                    zu::ToolResultHostMetadata{"weather", "cached", true, false}};
  b["tool_result_no_host"] = zu::ToolResult{"call_1", "sunny", false, std::nullopt};
  b["reasoning"] =
      zu::Reasoning{"rs_1", {"step one", "step two"}, "enc", std::nullopt, {"detail"}};
  b["opaque"] =
      zu::Opaque{"web_search_call", shared_document(R"({"status":"completed","id":"ws_1"})")};
  b["image"] = zu::Image{"image/gif", std::make_shared<const std::string>("R0lGODlhAQABAAAAACw="),
                         zu::ImageDetail::high};
  b["image_without_data"] = zu::Image{"image/png", nullptr, zu::ImageDetail::automatic};
  b["thought"] = zu::Thought{{"a", "b"}, "sig-2"};
  return b;
}

std::string content_hex(const zu::Message& message, const zu::digest::ContentLabels& labels) {
  zu::Digest digest{};
  EXPECT_TRUE(zu::digest::content_digest(message, labels, kResources, digest));
  return hex(digest);
}

std::string document_hex(const std::shared_ptr<const zu::json::Document>& document) {
  zu::digest::Writer writer(kResources);
  zu::digest::JsonHasher json;
  writer.bytes("zu.test.json.v1");
  json.document(writer, document);
  zu::Digest digest{};
  EXPECT_TRUE(writer.finish(digest));
  return hex(digest);
}

TEST(GoldenDigest, EachBlockKindMatchesTheReference) {
  for (auto& [name, block] : blocks()) {
    const zu::Message message{"msg_1", zu::Role::assistant, {block}, nullptr, nullptr};
    EXPECT_EQ(content_hex(message, kMessages), golden("block." + name)) << name;
  }
}

TEST(GoldenDigest, MessagesMatchTheReference) {
  auto b = blocks();
  zu::Message every;
  every.id = "resp_7";
  for (const char* name : {"text", "refusal", "tool_call", "invalid_tool_call", "thinking",
                           "redacted_thinking", "server_tool_result", "tool_result",
                           "reasoning", "opaque", "image", "thought"})
    every.content.push_back(b[name]);
  every.native = shared_document(R"([{"type":"message","id":"resp_7"},{"b":[1,2.5,-3],"a":true}])");
  EXPECT_EQ(content_hex(every, kResponses), golden("message.every_kind"));
  EXPECT_EQ(content_hex(every, kMessages), golden("message.every_kind_messages_labels"));

  EXPECT_EQ(content_hex(zu::Message{"", zu::Role::user, {}, nullptr, nullptr}, kMessages),
            golden("message.empty"));
  EXPECT_EQ(content_hex(zu::Message{"msg_1", zu::Role::assistant, {b["text"]}, nullptr,
                                    shared_document("[]")},
                        kMessages),
            golden("message.text_with_native"));
}

TEST(GoldenDigest, NegativeNumbersAreSignExtended) {
  auto b = blocks();
  auto call = std::get<zu::ToolCall>(b["tool_call_bare"]);
  call.kind = zu::ToolCallKind{-2};
  auto invalid = std::get<zu::InvalidToolCall>(b["invalid_tool_call"]);
  invalid.error_code = -7;
  auto image = std::get<zu::Image>(b["image"]);
  image.detail = zu::ImageDetail{-1};
  const zu::Message message{"msg_1", zu::Role{-1}, {call, invalid, image}, nullptr, nullptr};
  EXPECT_EQ(content_hex(message, kMessages), golden("message.negative_numbers"));
}

TEST(GoldenDigest, CanonicalJsonMatchesTheReference) {
  EXPECT_EQ(document_hex(shared_document(
                R"([null,true,false,"s",0,1,-1,-0,1.0,1e2,0.1,-2.5e-3,18446744073709551615,)"
                R"(18446744073709551616,-9223372036854775808,-9223372036854775809,)"
                R"("\u00e9\u0000\ud83d\ude00"])")),
            golden("json.scalars"));
  EXPECT_EQ(document_hex(shared_document(R"({"b":1,"a":{"d":[],"c":{}},"":0,"ab":2,"\u00e9":3,"z":null})")),
            golden("json.sorted_keys"));
  EXPECT_EQ(document_hex(shared_document(R"({"k":2,"a":0,"k":1})")),
            golden("json.duplicate_members"));
  EXPECT_EQ(document_hex(nullptr), golden("json.absent"));
}

TEST(GoldenDigest, PrefixChainMatchesTheReference) {
  auto b = blocks();
  const std::vector<zu::Message> chain{
      {"m0", zu::Role::user, {b["text"]}, nullptr, nullptr},
      {"m1", zu::Role::assistant, {b["tool_call"]}, nullptr, nullptr},
      {"m2", zu::Role::tool, {b["tool_result"]}, nullptr, nullptr},
  };
  zu::Digest prefix{};
  for (std::uint64_t i = 0; i < chain.size(); ++i) {
    zu::Digest message{};
    ASSERT_TRUE(zu::digest::content_digest(chain[i], kMessages, kResources, message));
    ASSERT_TRUE(zu::digest::prefix_step("zu.messages.prefix.v1", i, message, kResources, prefix));
    EXPECT_EQ(hex(prefix), golden("prefix.step" + std::to_string(i)));
  }
}

}  // namespace
