// Carrying the members of a received object that a record does not model.
#pragma once

#include <string>
#include <string_view>

#include "vantrel/json.hpp"

namespace vantrel::mcp::detail {

// copy_unmodelled writes into `out`, in their order, the members of `raw` whose names
// `modelled` rejects. A `raw` that is not an object contributes nothing.
template <class Modelled>
void copy_unmodelled(const vantrel::json& raw, vantrel::json& out, Modelled modelled) {
  if (!raw.is_object()) return;
  for (auto it = raw.begin(), end = raw.end(); it != end; ++it) {
    const std::string key = it.key();
    if (!modelled(std::string_view(key))) out[key] = it.value();
  }
}

}  // namespace vantrel::mcp::detail
