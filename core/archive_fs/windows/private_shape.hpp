// The exact private shape of a security descriptor, judged on its parts alone so that it
// can be checked on descriptors built in memory as well as on those read from objects.
#pragma once

#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs::windows {

// DescriptorParts are the parts of a descriptor the private check looks at.
struct DescriptorParts {
  // owner is the descriptor's owner. (nullable: a descriptor without one)
  PSID owner = nullptr;
  // list is the discretionary access list. (nullable: no list, which grants everyone
  // everything)
  PACL list = nullptr;
  // control holds the descriptor's control bits.
  SECURITY_DESCRIPTOR_CONTROL control = 0;
};

// check_private_shape throws Rejected unless parts describe an object private to user
// with exactly mask: owned by user, with a valid protected list of exactly one
// access-allowed entry without flags that grants exactly mask to user.
void check_private_shape(const DescriptorParts& parts, PSID user, ACCESS_MASK mask);

// first_entry_mask returns the access mask of the first entry of list. It throws
// Rejected when there is no list, it is not valid, or it has no access-allowed entry
// first.
ACCESS_MASK first_entry_mask(PACL list);

}  // namespace zu::archive_fs::windows
