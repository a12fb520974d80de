#include "schema_location.hpp"

#include <vector>

namespace vantrel::mcp::detail {

std::string Location::text() const {
  std::vector<const Location*> steps;
  for (const Location* step = this; step != nullptr; step = step->parent) steps.push_back(step);
  std::string out;
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    out.append((*it)->prefix);
    if ((*it)->has_index) {
      out.append(std::to_string((*it)->index));
    } else {
      out.append((*it)->name);
    }
  }
  return out;
}

}  // namespace vantrel::mcp::detail
