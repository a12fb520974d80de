#include <gtest/gtest.h>

#include "zu/interface_contract.hpp"
#include "zu/json/document.hpp"

// A facade that keeps a newer retained-size rule than the one the core was built for.
unsigned int zu::json::retained_size_contract() noexcept { return 2; }

namespace {

TEST(InterfaceContract, DropsTheRetainedSizeBitForAFacadeWithAnotherRule) {
  const zu::InterfaceContract contract = zu::core_interface_contract();
  EXPECT_EQ(contract.version, 4u);
  EXPECT_EQ(contract.capabilities, 0x7Cu);
}

}  // namespace
