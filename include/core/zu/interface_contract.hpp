// The version of zu_core's interface, for hosts that load the library at run time.
//
//   const zu::InterfaceContract contract = zu::core_interface_contract();
//   if (contract.version != 4) { /* refuse the library */ }
#pragma once

#include <cstdint>

#include "zu/export.hpp"

namespace zu {

// InterfaceContract names an interface version and the capabilities that version has.
struct InterfaceContract {
  std::uint32_t version = 0;
  std::uint64_t capabilities = 0;
};

// core_interface_contract returns the interface contract of the loaded zu_core: version
// 4, with capability bits 2 to 6 (0x7C) always set, and bit 7 (0x80) set only when the
// JSON facade it is linked with keeps retained-size contract 1. Bits 0 and 1 are never
// set.
[[nodiscard]] ZU_CORE_EXPORT InterfaceContract core_interface_contract() noexcept;

}  // namespace zu
