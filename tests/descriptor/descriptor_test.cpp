// The descriptor stand-in gives back what it was built from, and knows the one family
// default the core asks for.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <zu/descriptor.hpp>

namespace {

using zu::descriptor::DescriptorFields;
using zu::descriptor::DescriptorPolicy;
using zu::descriptor::StopKind;
using zu::descriptor::ValidatedDescriptor;

std::shared_ptr<const DescriptorPolicy> policy(std::optional<bool> tool_flag_default = {}) {
  return std::make_shared<const DescriptorPolicy>(
      "test.policy.v1",
      zu::descriptor::CodecResources{.max_digest_bytes = 1, .max_json_depth = 2,
                                     .max_json_entries = 3, .max_message_count = 4,
                                     .max_block_count = 5},
      zu::descriptor::RequestDefaults{tool_flag_default});
}

DescriptorFields fields(std::string family) {
  return {.revision = 7,
          .id = "acme",
          .family = std::move(family),
          .base_url = "https://api.acme.test",
          .paths = {"/v1/plain", "/v1/stream"},
          .request_model_member = "model",
          .request_messages_member = "messages",
          .request_stream_member = "stream",
          .max_output_tokens_member = "max_tokens",
          .usage_path = {"usage", "tokens"},
          .headers = {{"X-Key", "1"}, {"anthropic-version", "2024-01-01"}},
          .stop_mappings = {{"end_turn", StopKind::turn_ended}, {"max_tokens", StopKind{2}}},
          .policy = policy()};
}

TEST(ValidatedDescriptor, PathSelectsThePlainOrTheStreamingVariant) {
  const ValidatedDescriptor d(fields("openai.chat"));
  EXPECT_EQ(d.path(false), "/v1/plain");
  EXPECT_EQ(d.path(true), "/v1/stream");
}

TEST(ValidatedDescriptor, CopiesShareThePolicy) {
  const ValidatedDescriptor d(fields("openai.chat"));
  const ValidatedDescriptor copy = d;
  EXPECT_EQ(copy.policy(), d.policy());
  EXPECT_EQ(copy.policy()->identity(), "test.policy.v1");
}

TEST(ValidatedDescriptor, FamilyPolicyDefaultsTheVersionHeaderOfTheMessagesFamilyOnly) {
  EXPECT_EQ(ValidatedDescriptor(fields("anthropic.messages")).family_policy().anthropic_version,
            "2023-06-01");
  for (const char* family : {"openai.responses", "google.generate", "google.interactions",
                             "openai.chat", "anthropic.messages.v2", ""})
    EXPECT_EQ(ValidatedDescriptor(fields(family)).family_policy().anthropic_version, "")
        << family;
}

TEST(DescriptorPolicy, DefaultsAreTheConfiguredOnesForEveryFamilyAndModel) {
  const auto with_default = policy(true);
  EXPECT_EQ(with_default->defaults("openai.responses", "m-1").tool_flag_default, true);
  EXPECT_EQ(with_default->defaults("", "").tool_flag_default, true);
  EXPECT_FALSE(policy()->defaults("openai.responses", "m-1").tool_flag_default.has_value());
}

}  // namespace
