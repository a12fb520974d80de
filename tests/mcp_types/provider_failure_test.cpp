#include <memory>
#include <stdexcept>
#include <variant>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

namespace {

using vantrel::ProviderFailure;

TEST(ProviderFailure, CarriesTheFailureAndItsMessage) {
  auto outcome = std::make_shared<const ProviderFailure::Outcome>(zu::Failure{429, "rate limited", {}});
  try {
    throw ProviderFailure(outcome);
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "rate limited");
    const auto& failure = dynamic_cast<const ProviderFailure&>(e);
    EXPECT_EQ(failure.outcome(), outcome);
    EXPECT_EQ(std::get<zu::Failure>(*failure.outcome()).code, 429);
  }
}

TEST(ProviderFailure, CopiesShareTheOutcomeAndMovesTransferIt) {
  auto outcome = std::make_shared<const ProviderFailure::Outcome>(zu::Failure{1, "x", {}});
  ProviderFailure original(outcome);
  ProviderFailure copy = original;
  EXPECT_EQ(copy.outcome().get(), original.outcome().get());
  EXPECT_EQ(outcome.use_count(), 3);
  ProviderFailure moved = std::move(copy);
  EXPECT_EQ(moved.outcome().get(), outcome.get());
  EXPECT_EQ(outcome.use_count(), 3);
  EXPECT_STREQ(moved.what(), "x");
}

TEST(ProviderFailure, RefusesOutcomesWithoutAFailure) {
  auto completion = std::make_shared<const ProviderFailure::Outcome>(zu::Completion{"done", {}});
  EXPECT_THROW(ProviderFailure{completion}, std::bad_variant_access);
  EXPECT_THROW(ProviderFailure{nullptr}, std::bad_variant_access);
}

}  // namespace
