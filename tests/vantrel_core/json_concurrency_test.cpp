// Copies of one value used from several threads at once stay independent.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vantrel/json.hpp>

namespace {

using vantrel::json;

TEST(JsonConcurrency, CopiesInDifferentThreadsReadAndWriteIndependently) {
  const json shared = json::parse(R"({"tools":[{"name":"a"},{"name":"b"}],"n":1})");
  const std::string original = shared.dump();
  constexpr int workers = 4;
  std::vector<std::string> results(workers);
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < 200; ++i) {
        json mine = shared;
        const json& reader = mine;
        if (reader["tools"][std::size_t{1}]["name"].get<std::string>() != "b") return;
        mine["worker"] = json(std::to_string(w));
        json dropped = mine;  // a copy that dies while `mine` goes on writing
        mine["round"] = json(std::to_string(i));
        results[static_cast<std::size_t>(w)] = mine.dump();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(shared.dump(), original);
  for (int w = 0; w < workers; ++w) {
    EXPECT_EQ(results[static_cast<std::size_t>(w)],
              R"({"tools":[{"name":"a"},{"name":"b"}],"n":1,"worker":")" + std::to_string(w) + R"(","round":"199"})");
  }
}

}  // namespace
