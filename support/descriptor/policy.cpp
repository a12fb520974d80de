// Request defaults of a policy.
#include "zu/descriptor/policy.hpp"

namespace zu::descriptor {

// One set of defaults serves every family and model: the stand-in keeps no per-model
// tables, and the core asks only for the tool flag default.
const RequestDefaults& DescriptorPolicy::defaults(std::string_view /*family*/,
                                                  std::string_view /*model*/) const noexcept {
  return defaults_;
}

}  // namespace zu::descriptor
