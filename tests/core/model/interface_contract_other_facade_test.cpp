#include <gtest/gtest.h>

#include "zu/interface_contract.hpp"
#include "zu/json/document.hpp"

// A facade that keeps a newer retained-size rule than the one the core was built for.
#if defined(_WIN32)
// A Windows program cannot put its own definition in front of a DLL's export: the core's
// objects call zu_json's function through the import pointer the linker fills in, so this
// program supplies that pointer, aimed at its own rule.
namespace {
unsigned int newer_retained_size_contract() noexcept { return 2; }
}  // namespace
extern "C" {
extern unsigned int (*const zu_json_retained_size_contract_import)() noexcept
    __asm__("__imp__ZN2zu4json22retained_size_contractEv");
unsigned int (*const zu_json_retained_size_contract_import)() noexcept =
    newer_retained_size_contract;
}
#else
unsigned int zu::json::retained_size_contract() noexcept { return 2; }
#endif

namespace {

TEST(InterfaceContract, DropsTheRetainedSizeBitForAFacadeWithAnotherRule) {
  const zu::InterfaceContract contract = zu::core_interface_contract();
  EXPECT_EQ(contract.version, 4u);
  EXPECT_EQ(contract.capabilities, 0x7Cu);
}

}  // namespace
