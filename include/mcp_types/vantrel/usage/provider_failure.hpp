// The exception a provider loop throws when a provider call failed.
#pragma once

#include <memory>
#include <stdexcept>
#include <variant>

#include "vantrel/mcp_types_export.hpp"
#include "zu/outcome.hpp"

namespace vantrel {

// ProviderFailure carries the failed outcome of a provider call; its what() text is the
// failure's message. Copies share the outcome.
//
// Thread safety: immutable once made; may be read from several threads at once.
class VANTREL_MCP_TYPES_EXPORT ProviderFailure : public std::runtime_error {
 public:
  using Outcome = std::variant<zu::Completion, zu::Failure>;

  // ProviderFailure keeps `outcome`. It throws std::bad_variant_access when `outcome` is
  // null or holds a completion: there is then no failure to carry.
  explicit ProviderFailure(std::shared_ptr<const Outcome> outcome);

  // outcome returns the stored outcome, which holds a zu::Failure.
  [[nodiscard]] const std::shared_ptr<const Outcome>& outcome() const noexcept { return outcome_; }

 private:
  std::shared_ptr<const Outcome> outcome_;
};

}  // namespace vantrel
