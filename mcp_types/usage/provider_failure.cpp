#include "vantrel/usage/provider_failure.hpp"

#include <utility>

namespace vantrel {
namespace {

// failure_message returns the message of the failure that `outcome` holds. A null
// outcome holds no failure at all, so it is refused the same way as a completion
// instead of being dereferenced.
const std::string& failure_message(const std::shared_ptr<const ProviderFailure::Outcome>& outcome) {
  if (outcome == nullptr) throw std::bad_variant_access();
  return std::get<zu::Failure>(*outcome).message;
}

}  // namespace

ProviderFailure::ProviderFailure(std::shared_ptr<const Outcome> outcome)
    : std::runtime_error(failure_message(outcome)), outcome_(std::move(outcome)) {}

}  // namespace vantrel
