// The interface contract of zu_core.
#include "zu/interface_contract.hpp"

#include "zu/json/document.hpp"

namespace zu {
namespace {

constexpr std::uint32_t kInterfaceVersion = 4;
constexpr std::uint64_t kBaseCapabilities = 0x7C;
// Set only while the JSON facade keeps the retained-size rule this library was built
// against; a facade with another rule may size documents differently.
constexpr std::uint64_t kRetainedSizeCapability = 0x80;

}  // namespace

InterfaceContract core_interface_contract() noexcept {
  std::uint64_t capabilities = kBaseCapabilities;
  if (json::retained_size_contract() == 1) capabilities |= kRetainedSizeCapability;
  return {kInterfaceVersion, capabilities};
}

}  // namespace zu
