// Several threads reserve and settle against one limit while another watches.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

namespace {

TEST(UsageConcurrency, ReservationsNeverExceedTheLimitAndTotalsAreExact) {
  constexpr std::uint64_t limit = 200'000;
  constexpr int workers = 4;
  constexpr int attempts = 5'000;
  vantrel::UsageAccumulator bank;
  std::atomic<bool> done{false};
  std::atomic<bool> exceeded{false};
  std::vector<std::uint64_t> charged(workers, 0);
  std::vector<std::uint64_t> inputs(workers, 0);

  std::thread watcher([&] {
    while (!done.load()) {
      if (bank.total_tokens_wide() > limit) exceeded = true;
    }
  });
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < attempts; ++i) {
        const std::uint64_t amount = 10 + static_cast<std::uint64_t>((w * 7 + i) % 40);
        if (!bank.try_reserve(amount, limit)) continue;
        if (i % 5 == 0) {
          bank.release_reservation(amount);
          continue;
        }
        // The provider used less than was reserved, as it must for the limit to hold.
        zu::Usage report;
        report.input_total = zu::UsageCounter{amount / 2};
        report.output_total = zu::UsageCounter{amount / 4};
        report.state = zu::UsageState::final;
        bank.settle_reservation(amount, report);
        charged[static_cast<std::size_t>(w)] += amount / 2 + amount / 4;
        inputs[static_cast<std::size_t>(w)] += amount / 2;
        (void)bank.remember_provider_effect("call-" + std::to_string(w) + "-" + std::to_string(i));
      }
    });
  }
  for (auto& t : threads) t.join();
  done = true;
  watcher.join();

  std::uint64_t expected_charge = 0;
  std::uint64_t expected_input = 0;
  for (int w = 0; w < workers; ++w) {
    expected_charge += charged[static_cast<std::size_t>(w)];
    expected_input += inputs[static_cast<std::size_t>(w)];
  }
  const auto authority = bank.authority_snapshot();
  EXPECT_FALSE(exceeded.load());
  EXPECT_EQ(authority.reserved, 0U);
  EXPECT_EQ(authority.charged, expected_charge);
  EXPECT_LE(authority.charged, limit);
  EXPECT_GT(authority.charged, limit / 2) << "the limit was actually reached for";
  ASSERT_TRUE(bank.snapshot().input_total);
  EXPECT_EQ(bank.snapshot().input_total->value, expected_input);
  EXPECT_EQ(bank.total_tokens_wide(), expected_charge);
}

}  // namespace
