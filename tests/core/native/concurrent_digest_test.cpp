// Digests only read the message and its shared documents, so several threads may digest
// the same message at once and agree.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "native/content_digest.hpp"
#include "shared_document.hpp"

namespace {

TEST(ConcurrentDigest, ThreadsDigestingOneMessageAgree) {
  std::string items = "[";
  for (int i = 0; i < 200; ++i) {
    if (i != 0) items += ',';
    items += R"({"type":"message","id":"m)" + std::to_string(i) +
             R"(","content":[{"text":"hello","type":"output_text"}]})";
  }
  zu::Message message;
  message.id = "resp_1";
  message.content.push_back(zu::Opaque{"item", zu_test::shared_document(R"({"b":1,"a":[2,3]})")});
  message.native = zu_test::shared_document(items + "]");

  const zu::descriptor::CodecResources resources{.max_digest_bytes = 1u << 24,
                                                 .max_json_depth = 8,
                                                 .max_json_entries = 1024,
                                                 .max_message_count = 0,
                                                 .max_block_count = 0};
  const zu::digest::ContentLabels labels{"zu.responses.content.v1", "zu.responses.output.v1"};
  zu::Digest expected{};
  ASSERT_TRUE(zu::digest::content_digest(message, labels, resources, expected));

  std::vector<zu::Digest> results(4);
  std::vector<std::thread> threads;
  for (zu::Digest& result : results)
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round)
        if (!zu::digest::content_digest(message, labels, resources, result)) result = {};
    });
  for (std::thread& thread : threads) thread.join();
  for (const zu::Digest& result : results) EXPECT_EQ(result, expected);
}

}  // namespace
