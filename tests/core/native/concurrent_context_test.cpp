// Contexts and replays are immutable and shared: several threads may bind histories
// that hold the same replay tokens, and query and issue against one context, at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "native_fixtures.hpp"

namespace {

using zu_test::ContextPtr;
using zu_test::Family;

TEST(ConcurrentContext, ThreadsSharingContextsAndReplaysAgree) {
  const auto descriptor = zu_test::make_descriptor(Family::responses);
  std::vector<zu::Message> history;
  for (int turn = 0; turn < 6; ++turn) {
    history.push_back(zu_test::user_text("question " + std::to_string(turn)));
    const ContextPtr context = zu_test::family_context(Family::responses, descriptor, history);
    zu::Message answer = zu_test::reply(Family::responses, "r" + std::to_string(turn), "answer");
    answer.content.push_back(
        zu::ToolCall{"srv_" + std::to_string(turn), "web_search", zu::ToolCallKind::server, {}, "", {}});
    history.push_back(zu_test::issued(std::move(answer), context));
  }
  const ContextPtr shared = zu_test::family_context(Family::responses, descriptor, history);
  ASSERT_TRUE(shared->history_replayable);
  const zu::Message next = zu_test::reply(Family::responses, "r_next", "answer");

  std::vector<zu::Digest> prefixes(4);
  std::vector<int> agreements(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < prefixes.size(); ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        const ContextPtr mine = zu_test::family_context(Family::responses, descriptor, history);
        prefixes[t] = mine->history_replayable ? mine->prefix_digest : zu::Digest{};
        const auto replay = zu_test::issued(next, shared).replay;
        if (replay->valid && shared->matches_descriptor(descriptor) &&
            shared->server_tool_name("srv_3") == "web_search" &&
            zu::CodecAccess::archive_valid(*history[1].replay, history[1]))
          ++agreements[t];
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < prefixes.size(); ++t) {
    EXPECT_EQ(prefixes[t], shared->prefix_digest) << t;
    EXPECT_EQ(agreements[t], 10) << t;
  }
}

}  // namespace
