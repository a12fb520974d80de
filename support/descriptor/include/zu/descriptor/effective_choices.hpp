// The request settings a descriptor policy resolved for one request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zu::descriptor {

// EffectiveChoices is what a request will actually ask of the provider once the policy
// has filled in or overridden the caller's settings. It is a plain aggregate; absent
// members were left to the provider. The member order is part of the configuration
// digest and must not change.
struct EffectiveChoices {
  std::optional<std::uint64_t> max_output_tokens{};
  std::optional<bool> parallel_tool_calls{};
  std::optional<bool> store{};
  // thinking_enabled turns extended reasoning on; thinking_effort and thinking_summary
  // mean something only when it is true, and only then are they digested.
  bool thinking_enabled = false;
  std::optional<std::string> thinking_effort{};
  std::optional<std::string> thinking_summary{};
  std::optional<std::string> service_tier{};
  std::optional<std::string> user{};
  std::optional<std::uint64_t> seed{};
  std::optional<std::uint64_t> thinking_budget_tokens{};
};

}  // namespace zu::descriptor
