#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::UsageAccumulator;
using zu::Usage;
using zu::UsageCounter;
using zu::UsageOrigin;
using zu::UsageState;

constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();

Usage final_report(std::uint64_t input, std::uint64_t output) {
  Usage u;
  u.input_total = UsageCounter{input};
  u.output_total = UsageCounter{output};
  u.state = UsageState::final;
  return u;
}

TEST(UsageFold, TheFirstReportIsTakenWhole) {
  UsageAccumulator bank;
  Usage first = final_report(10, 5);
  first.reasoning = UsageCounter{3, UsageOrigin::reported};
  first.named_counters["images"] = UsageCounter{2};
  first.diagnostics = {{"total", "missing"}};
  first.overflow = 1;
  bank.observe(first);
  EXPECT_EQ(bank.snapshot(), first);
}

TEST(UsageFold, LaterReportsSumCounterByCounter) {
  UsageAccumulator bank;
  Usage a = final_report(10, 5);
  a.cache_read = UsageCounter{4};
  a.named_counters = {{"images", UsageCounter{1}}, {"searches", UsageCounter{2}}};
  Usage b = final_report(1, 2);
  b.named_counters = {{"images", UsageCounter{7}}, {"only_in_b", UsageCounter{9}}};
  b.diagnostics = {{"x", "from b"}};
  bank.observe(a);
  bank.observe(b);
  bank.observe(a);  // cache_read stays absent for good once a report lacked it

  const Usage totals = bank.snapshot();
  EXPECT_EQ(totals.input_total, (UsageCounter{21, UsageOrigin::derived}));
  EXPECT_EQ(totals.output_total, (UsageCounter{12, UsageOrigin::derived}));
  EXPECT_FALSE(totals.cache_read);
  EXPECT_FALSE(totals.total);
  ASSERT_EQ(totals.named_counters.size(), 1U) << "entries a report lacks go, names only a report has never come";
  EXPECT_EQ(totals.named_counters.at("images"), (UsageCounter{9, UsageOrigin::derived}));
  EXPECT_EQ(totals.state, UsageState::final);
  EXPECT_EQ(totals.overflow, 0U);
  EXPECT_EQ(totals.diagnostics, (std::vector<std::pair<std::string, std::string>>{{"x", "from b"}}));
}

TEST(UsageFold, OverflowDropsTheCounterAndSaysSo) {
  UsageAccumulator bank;
  Usage big = final_report(std::uint64_t{1} << 63, 1);
  big.named_counters["n"] = UsageCounter{max};
  big.diagnostics = {{"r", "report"}};
  bank.observe(big);
  bank.observe(big);
  const Usage totals = bank.snapshot();
  EXPECT_FALSE(totals.input_total);
  EXPECT_EQ(totals.output_total, (UsageCounter{2, UsageOrigin::derived}));
  EXPECT_TRUE(totals.named_counters.empty());
  EXPECT_EQ(totals.overflow, 1U);
  EXPECT_EQ(totals.diagnostics, (std::vector<std::pair<std::string, std::string>>{
                                    {"r", "report"},
                                    {"input_total", "aggregate counter overflow"},
                                    {"n", "aggregate counter overflow"},
                                    {"r", "report"}}));
}

TEST(UsageFold, StatesMergeTowardsPartial) {
  auto merged = [](UsageState a, UsageState b) {
    UsageAccumulator bank;
    Usage x;
    x.state = a;
    Usage y;
    y.state = b;
    bank.observe(x);
    bank.observe(y);
    return bank.snapshot().state;
  };
  EXPECT_EQ(merged(UsageState::none, UsageState::none), UsageState::none);
  EXPECT_EQ(merged(UsageState::none, UsageState::final), UsageState::partial);
  EXPECT_EQ(merged(UsageState::final, UsageState::final), UsageState::final);
  EXPECT_EQ(merged(UsageState::final, UsageState::none), UsageState::partial);
  EXPECT_EQ(merged(UsageState::partial, UsageState::final), UsageState::partial);
  EXPECT_EQ(merged(static_cast<UsageState>(9), UsageState::none), UsageState::partial);
}

TEST(UsageFinalCharge, NeedsAConsistentFinalReport) {
  auto charge = [](Usage u) { return UsageAccumulator::conservative_final_charge(u); };
  Usage u = final_report(100, 50);
  EXPECT_EQ(charge(u), 150U);
  u.provider_reported_total = UsageCounter{160};
  EXPECT_EQ(charge(u), 160U);
  u.total = UsageCounter{170};
  EXPECT_EQ(charge(u), 170U);
  u.provider_reported_total = UsageCounter{140};
  EXPECT_FALSE(charge(u)) << "a total below input plus output contradicts the report";
  u = final_report(100, 50);
  u.total = UsageCounter{149};
  EXPECT_FALSE(charge(u));
  u = final_report(100, 50);
  u.state = UsageState::partial;
  EXPECT_FALSE(charge(u));
  u = final_report(100, 50);
  u.overflow = 1;
  EXPECT_FALSE(charge(u));
  u = final_report(100, 50);
  u.output_total.reset();
  EXPECT_FALSE(charge(u));
  EXPECT_FALSE(charge(final_report(max, 1)));
  EXPECT_EQ(charge(final_report(max, 0)), max);
}

TEST(UsageCharging, AddChargesAndObserveDoesNot) {
  UsageAccumulator bank;
  bank.observe(final_report(100, 50));
  EXPECT_EQ(bank.total_tokens_wide(), 0U);
  bank.add(final_report(100, 50));
  EXPECT_EQ(bank.authority_snapshot().charged, 150U);
  Usage partial = final_report(1000, 1000);
  partial.state = UsageState::partial;
  bank.add(partial);
  EXPECT_EQ(bank.authority_snapshot().charged, 150U) << "no final charge, nothing charged";
  EXPECT_EQ(bank.snapshot().input_total->value, 1200U) << "but the report is still folded in";
}

TEST(UsageReservations, StayWithinTheLimit) {
  UsageAccumulator bank;
  EXPECT_FALSE(bank.try_reserve(0, 1000));
  EXPECT_FALSE(bank.try_reserve(10, 0));
  bank.restore_charge(900);
  ASSERT_TRUE(bank.try_reserve(90, 1000));
  EXPECT_TRUE(bank.try_reserve(10, 1000));
  EXPECT_FALSE(bank.try_reserve(1, 1000));
  EXPECT_EQ(bank.total_tokens_wide(), 1000U);
  EXPECT_FALSE(bank.try_reserve(1, 999)) << "a limit below what is committed";
  EXPECT_EQ(bank.authority_snapshot().reserved, 100U);
}

TEST(UsageReservations, SettleMovesTheReservationToTheCharge) {
  UsageAccumulator bank;
  ASSERT_TRUE(bank.try_reserve(500, 1000));
  Usage partial = final_report(10, 10);
  partial.state = UsageState::partial;
  bank.settle_reservation(500, partial);
  EXPECT_EQ(bank.authority_snapshot().reserved, 500U) << "without a final charge the reservation stays";
  bank.settle_reservation(200, final_report(100, 20));
  auto authority = bank.authority_snapshot();
  EXPECT_EQ(authority.reserved, 300U);
  EXPECT_EQ(authority.charged, 120U);
  bank.settle_reservation(10'000, final_report(1, 1));
  EXPECT_EQ(bank.authority_snapshot().reserved, 0U);
  ASSERT_TRUE(bank.try_reserve(7, 1000));
  bank.release_reservation(1'000'000);
  EXPECT_EQ(bank.authority_snapshot().reserved, 0U);
}

TEST(UsageReservations, CountsSaturateInsteadOfWrapping) {
  UsageAccumulator bank;
  bank.restore_charge(max - 1);
  bank.restore_charge(5);
  bank.restore_reservation(3);
  EXPECT_EQ(bank.authority_snapshot().charged, max);
  EXPECT_EQ(bank.total_tokens_wide(), max);
  EXPECT_FALSE(bank.try_reserve(1, max));
  bank.add(final_report(10, 10));
  EXPECT_EQ(bank.authority_snapshot().charged, max);
}

TEST(UsageEffects, RememberEachIdentityOnce) {
  UsageAccumulator bank;
  EXPECT_TRUE(bank.remember_provider_effect("file:b"));
  EXPECT_FALSE(bank.remember_provider_effect("file:b"));
  EXPECT_TRUE(bank.remember_provider_effect("file:a"));
  EXPECT_TRUE(bank.remember_provider_effect("File:c"));
  EXPECT_EQ(bank.authority_snapshot().effects, (std::vector<std::string>{"File:c", "file:a", "file:b"}));
}

TEST(UsageAuthority, RestoresIntoAPristineBankOnce) {
  UsageAccumulator source;
  source.add(final_report(40, 2));
  ASSERT_TRUE(source.try_reserve(8, 100));
  ASSERT_TRUE(source.remember_provider_effect("e1"));
  const UsageAccumulator::AuthoritySnapshot snapshot = source.authority_snapshot();

  UsageAccumulator target;
  target.restore_authority(snapshot);
  EXPECT_EQ(target.authority_snapshot(), snapshot);
  EXPECT_EQ(target.snapshot(), source.snapshot());
  EXPECT_FALSE(target.remember_provider_effect("e1"));
  EXPECT_THROW_MESSAGE(target.restore_authority(UsageAccumulator::AuthoritySnapshot{}), std::logic_error,
                       "Spending authority may only restore into a pristine bank");

  UsageAccumulator empty_restored;
  empty_restored.restore_authority(UsageAccumulator::AuthoritySnapshot{});
  EXPECT_THROW_MESSAGE(empty_restored.restore_authority(UsageAccumulator::AuthoritySnapshot{}), std::logic_error,
                       "Spending authority may only restore into a pristine bank");  // even after restoring nothing
}

TEST(UsageAuthority, AnyUseEndsPristineness) {
  auto refuses = [](auto use) {
    UsageAccumulator bank;
    use(bank);
    EXPECT_THROW_MESSAGE(bank.restore_authority({}), std::logic_error,
                         "Spending authority may only restore into a pristine bank");
  };
  refuses([](UsageAccumulator& b) { b.observe(Usage{}); });
  refuses([](UsageAccumulator& b) { (void)b.remember_provider_effect("x"); });
  refuses([](UsageAccumulator& b) { b.restore_charge(1); });
  refuses([](UsageAccumulator& b) { (void)b.try_reserve(1, 10); });

  UsageAccumulator untouched;
  untouched.restore_charge(0);
  untouched.release_reservation(5);
  EXPECT_NO_THROW(untouched.restore_authority({}));
}

TEST(UsageAuthority, DuplicateEffectsAreRefusedAndChangeNothing) {
  UsageAccumulator bank;
  UsageAccumulator::AuthoritySnapshot snapshot;
  snapshot.charged = 10;
  snapshot.effects = {"a", "b", "a"};
  EXPECT_THROW_MESSAGE(bank.restore_authority(snapshot), std::invalid_argument,
                       "Spending authority snapshot has duplicate effect identities");
  EXPECT_EQ(bank.authority_snapshot(), UsageAccumulator::AuthoritySnapshot{});
  snapshot.effects = {"a", "b"};
  EXPECT_NO_THROW(bank.restore_authority(snapshot)) << "the failed restore left the bank pristine";
}

TEST(UsageSealing, ASealedBankOnlyAnswers) {
  UsageAccumulator bank;
  bank.add(final_report(3, 4));
  bank.seal_observation();
  bank.seal_observation();
  const char* message = "Recorded replay bank is observation-only";
  EXPECT_THROW_MESSAGE(bank.observe(Usage{}), std::logic_error, message);
  EXPECT_THROW_MESSAGE(bank.add(Usage{}), std::logic_error, message);
  EXPECT_THROW_MESSAGE((void)bank.try_reserve(0, 0), std::logic_error, message);
  EXPECT_THROW_MESSAGE(bank.settle_reservation(1, Usage{}), std::logic_error, message);
  EXPECT_THROW_MESSAGE(bank.release_reservation(1), std::logic_error, message);
  EXPECT_THROW_MESSAGE(bank.restore_charge(1), std::logic_error, message);
  EXPECT_THROW_MESSAGE(bank.restore_reservation(1), std::logic_error, message);
  EXPECT_THROW_MESSAGE((void)bank.remember_provider_effect("x"), std::logic_error, message);
  EXPECT_THROW_MESSAGE(bank.restore_authority({}), std::logic_error, message);
  EXPECT_EQ(bank.snapshot().input_total->value, 3U);
  EXPECT_EQ(bank.total_tokens_wide(), 7U);
  EXPECT_TRUE(bank.authority_snapshot().has_report);

  UsageAccumulator fresh;
  fresh.seal_observation();
  // The live check comes before the pristine check.
  EXPECT_THROW_MESSAGE(fresh.restore_authority({}), std::logic_error, message);
}

}  // namespace
