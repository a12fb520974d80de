// The prefix step.
#include <gtest/gtest.h>

#include <string>

#include "native/prefix_step.hpp"
#include "stream_bytes.hpp"

namespace {

using zu_test::be64;
using zu_test::framed;
using zu_test::sha256;

zu::descriptor::CodecResources budget(std::uint64_t bytes) {
  return {.max_digest_bytes = bytes, .max_json_depth = 0, .max_json_entries = 0,
          .max_message_count = 0, .max_block_count = 0};
}

TEST(PrefixStep, ChainsIndexPrefixAndMessageDigest) {
  zu::Digest prefix{}, message{};
  prefix.fill(0x11);
  message.fill(0x22);
  const zu::Digest before = prefix;
  ASSERT_TRUE(zu::digest::prefix_step("zu.chat.prefix.v1", 5, message, budget(1024), prefix));
  EXPECT_EQ(prefix, sha256(framed("zu.chat.prefix.v1") + be64(5) +
                           std::string(before.begin(), before.end()) +
                           std::string(message.begin(), message.end())));
}

TEST(PrefixStep, AFailedStepKeepsThePrefix) {
  // The label, the index and two digests take 8 + 17 + 8 + 64 = 97 bytes.
  zu::Digest prefix{}, message{};
  prefix.fill(0x33);
  const zu::Digest before = prefix;
  EXPECT_FALSE(zu::digest::prefix_step("zu.chat.prefix.v1", 0, message, budget(96), prefix));
  EXPECT_EQ(prefix, before);
  EXPECT_TRUE(zu::digest::prefix_step("zu.chat.prefix.v1", 0, message, budget(97), prefix));
  EXPECT_NE(prefix, before);
}

}  // namespace
