// The descriptor digest: what it binds, how headers are normalised, and when it fails.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "native/descriptor_digest.hpp"
#include "native_fixtures.hpp"
#include "stream_bytes.hpp"

namespace {

using zu_test::be64;
using zu_test::framed;
using Fields = zu::descriptor::DescriptorFields;

std::optional<zu::Digest> digest_of(const Fields& fields) {
  zu::Digest out{};
  if (!zu::native::descriptor_digest(zu::descriptor::ValidatedDescriptor(fields), out))
    return std::nullopt;
  return out;
}

Fields with_headers(const char* family, std::vector<std::pair<std::string, std::string>> headers) {
  Fields fields = zu_test::descriptor_fields(family);
  fields.headers = std::move(headers);
  return fields;
}

TEST(DescriptorDigest, IsTheFramedStreamOfTheDescriptor) {
  Fields fields = zu_test::descriptor_fields("openai.chat");
  fields.headers = {{"X-B", "2"}, {"Accept", "*/*"}, {"x-a", "1"}};
  fields.stop_mappings = {{"stop", zu::StopKind{-1}}};
  const std::string stream =
      framed("zu.chat.origin.v1") + framed("zu.test.policy.v1") + framed("openai.chat") +
      framed("test-openai.chat") + framed("https://api.example.test") + framed("model") +
      framed("messages") + framed("stream") + framed("max_tokens") + be64(1) + framed("usage") +
      be64(1) + framed("stop") + be64(~std::uint64_t{0}) + be64(2) + framed("x-a") +
      framed("1") + framed("x-b") + framed("2");
  EXPECT_EQ(digest_of(fields), zu_test::sha256(stream));
}

TEST(DescriptorDigest, HeaderNamesAreCaseFreeAndTheirOrderDoesNotCount) {
  const auto reference = digest_of(with_headers("openai.chat", {{"x-a", "1"}, {"x-b", "2"}}));
  EXPECT_EQ(digest_of(with_headers("openai.chat", {{"X-B", "2"}, {"X-A", "1"}})), reference);
  EXPECT_EQ(digest_of(with_headers("openai.chat", {{"x-a", "1"}, {"Content-Type", "text/x"},
                                                   {"x-b", "2"}, {"ACCEPT", "*/*"}})),
            reference);
  EXPECT_NE(digest_of(with_headers("openai.chat", {{"x-a", "1"}, {"x-b", "3"}})), reference);

  // Two headers that differ only in case are both digested under one name, so neither
  // may be dropped or changed unnoticed.
  const auto both = digest_of(with_headers("openai.chat", {{"X-Team", "blue"}, {"x-team", "red"}}));
  EXPECT_NE(both, digest_of(with_headers("openai.chat", {{"x-team", "blue"}})));
  EXPECT_EQ(both, digest_of(with_headers("openai.chat", {{"x-team", "red"}, {"X-TEAM", "blue"}})));
  // Only ASCII letters are folded.
  EXPECT_NE(digest_of(with_headers("openai.chat", {{"X-\xC3\x84", "1"}})),
            digest_of(with_headers("openai.chat", {{"x-\xC3\xA4", "1"}})));
}

TEST(DescriptorDigest, MessagesDigestsTheVersionHeaderApart) {
  const char* family = "anthropic.messages";
  const auto implicit = digest_of(with_headers(family, {{"x-a", "1"}}));
  EXPECT_EQ(digest_of(with_headers(family, {{"Anthropic-Version", "2023-06-01"}, {"x-a", "1"}})),
            implicit);
  EXPECT_NE(digest_of(with_headers(family, {{"anthropic-version", "2024-01-01"}, {"x-a", "1"}})),
            implicit);
  // The last one counts.
  EXPECT_EQ(digest_of(with_headers(family, {{"anthropic-version", "2024-01-01"},
                                            {"ANTHROPIC-VERSION", "2023-06-01"}, {"x-a", "1"}})),
            implicit);

  // Elsewhere it is an ordinary header.
  EXPECT_NE(digest_of(with_headers("openai.chat", {{"anthropic-version", "2023-06-01"}})),
            digest_of(with_headers("openai.chat", {})));
}

TEST(DescriptorDigest, OnlyGeminiDigestsItsPaths) {
  for (const char* family : {"google.generate", "openai.responses"}) {
    Fields other = zu_test::descriptor_fields(family);
    other.paths[1] = "/v1/other";
    const bool digested = std::string_view(family) == "google.generate";
    EXPECT_EQ(digest_of(other) != digest_of(zu_test::descriptor_fields(family)), digested)
        << family;
  }
}

TEST(DescriptorDigest, EveryOtherFieldCounts) {
  const std::vector<std::pair<const char*, std::function<void(Fields&)>>> mutations = {
      {"policy identity", [](Fields& f) { f.policy = zu_test::make_policy("zu.test.other.v1"); }},
      {"id", [](Fields& f) { f.id = "other"; }},
      {"base_url", [](Fields& f) { f.base_url = "https://other.test"; }},
      {"model member", [](Fields& f) { f.request_model_member = "engine"; }},
      {"messages member", [](Fields& f) { f.request_messages_member = "input"; }},
      {"stream member", [](Fields& f) { f.request_stream_member = "streaming"; }},
      {"tokens member", [](Fields& f) { f.max_output_tokens_member = "max_output"; }},
      {"usage element", [](Fields& f) { f.usage_path.push_back("total"); }},
      {"usage order", [](Fields& f) { f.usage_path = {"a", "usage"}; }},
      {"stop text", [](Fields& f) { f.stop_mappings[0].first = "end"; }},
      {"stop kind", [](Fields& f) { f.stop_mappings[0].second = zu::StopKind{3}; }},
      {"stop order", [](Fields& f) { std::swap(f.stop_mappings[0], f.stop_mappings[1]); }},
      {"header", [](Fields& f) { f.headers.push_back({"x-new", ""}); }},
  };
  const Fields base = zu_test::descriptor_fields("google.interactions");
  const auto reference = digest_of(base);
  ASSERT_TRUE(reference);
  for (const auto& [name, mutate] : mutations) {
    Fields changed = base;
    mutate(changed);
    EXPECT_NE(digest_of(changed), reference) << name;
  }

  // The family's own label makes two otherwise equal descriptors differ.
  EXPECT_NE(digest_of(zu_test::descriptor_fields("openai.chat")),
            digest_of(zu_test::descriptor_fields("openai.responses")));
}

TEST(DescriptorDigest, FailsForAnUnknownFamilyAMissingPolicyOrTheBudget) {
  EXPECT_FALSE(digest_of(zu_test::descriptor_fields("openai.chat ")));
  EXPECT_FALSE(digest_of(zu_test::descriptor_fields("OPENAI.CHAT")));
  EXPECT_FALSE(digest_of(zu_test::descriptor_fields("openai.chat", nullptr)));
  zu::descriptor::CodecResources tight = zu_test::kRoomyResources;
  tight.max_digest_bytes = 100;
  EXPECT_FALSE(digest_of(
      zu_test::descriptor_fields("openai.chat", zu_test::make_policy("zu.test.policy.v1", tight))));
}

}  // namespace
