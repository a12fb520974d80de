// Provider routing preferences, for requests that go through a routing service that
// spreads them over several upstream providers.
//
//   zu::OpenRouterRouting routing{.allow_fallbacks = false, .order = {"alpha", "beta"}};
//   request.routing = routing;
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zu {

// OpenRouterRouting says which upstream providers may serve a request and how to choose
// among them. A plain aggregate; an absent member leaves the choice to the router. The
// member order is part of the configuration digest and must not change.
//
// A routing record that is present with every member absent is not the same request as
// one without a routing record: the first asks for routing with the router's defaults.
struct OpenRouterRouting {
  // allow_fallbacks lets the router try other providers when the first choice fails.
  std::optional<bool> allow_fallbacks{};
  // require_parameters admits only providers that support every request parameter.
  std::optional<bool> require_parameters{};
  // zero_data_retention admits only providers that keep no request data.
  std::optional<bool> zero_data_retention{};
  // order lists the providers to try first, in that order.
  std::vector<std::string> order{};
  // only lists the providers that may serve the request; empty means any.
  std::vector<std::string> only{};
  // ignore lists the providers that must not serve the request.
  std::vector<std::string> ignore{};
  // sort names how the remaining providers are ranked ("price", "latency", ...).
  std::optional<std::string> sort{};
};

}  // namespace zu
