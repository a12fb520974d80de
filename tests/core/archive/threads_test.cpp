// Threads sharing one archive, and two archives of one store in one process: saves are
// serialised, loads run beside them, and every key returned loads afterwards.
#include <atomic>
#include <string>
#include <thread>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;

TEST_F(ArchiveTest, ThreadsSavingAndLoadingAtOnceLoseNothing) {
  const ArchivePtr shared = made();
  auto second = open();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(second));
  const ArchivePtr archives[] = {shared, std::get<ArchivePtr>(second)};
  const std::string common = std::get<std::string>(shared->save({user_text("common")}, "s"));

  constexpr int kThreads = 4;
  constexpr int kSaves = 6;
  std::vector<std::string> keys[kThreads];
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const ArchivePtr& archive = archives[t % 2];
      for (int i = 0; i < kSaves; ++i) {
        auto key = archive->save({user_text("thread " + std::to_string(t) + " record " + std::to_string(i)),
                                  user_text("common")},
                                 "s");
        if (!std::holds_alternative<std::string>(key)) {
          ++failures;
          continue;
        }
        keys[t].push_back(std::get<std::string>(key));
        if (!std::holds_alternative<Messages>(archive->load(common, "s"))) ++failures;
        auto again = archive->save({user_text("common")}, "s");
        if (!std::holds_alternative<std::string>(again) || std::get<std::string>(again) != common) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(failures.load(), 0);
  for (const auto& list : keys) {
    ASSERT_EQ(list.size(), static_cast<std::size_t>(kSaves));
    for (const std::string& key : list) {
      EXPECT_TRUE(std::holds_alternative<Messages>(shared->load(key, "s"))) << key;
    }
  }
  EXPECT_EQ(entries().size(), static_cast<std::size_t>(kThreads * kSaves + 1));
}

}  // namespace
}  // namespace zu_test
