#include <gtest/gtest.h>

#include <zu/core.hpp>
#include <zu/json.hpp>

namespace {

TEST(InterfaceContract, IsVersionFourWithTheRetainedSizeBitOfTheLinkedFacade) {
  ASSERT_EQ(zu::json::retained_size_contract(), 1u);
  const zu::InterfaceContract contract = zu::core_interface_contract();
  EXPECT_EQ(contract.version, 4u);
  EXPECT_EQ(contract.capabilities, 0xFCu);
}

}  // namespace
