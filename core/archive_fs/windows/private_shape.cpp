#include "archive_fs/windows/private_shape.hpp"

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {
namespace {

// allowed_entry returns the list's entry at index, which must be an access-allowed entry.
const ACCESS_ALLOWED_ACE& allowed_entry(PACL list, DWORD index) {
  void* entry = nullptr;
  require(::GetAce(list, index, &entry) != 0 && entry != nullptr);
  const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
  require(allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE);
  return *allowed;
}

// entry_sid returns the identifier stored in an access-allowed entry, which begins at
// its SidStart member.
PSID entry_sid(const ACCESS_ALLOWED_ACE& entry) {
  return const_cast<DWORD*>(&entry.SidStart);
}

}  // namespace

void check_private_shape(const DescriptorParts& parts, PSID user, ACCESS_MASK mask) {
  require(parts.owner != nullptr && ::IsValidSid(parts.owner) != 0);
  require(::EqualSid(parts.owner, user) != 0);
  require(parts.list != nullptr && ::IsValidAcl(parts.list) != 0);
  // Without protection the list would take in whatever the parent hands down later.
  require((parts.control & SE_DACL_PROTECTED) != 0);
  ACL_SIZE_INFORMATION size{};
  require(::GetAclInformation(parts.list, &size, sizeof(size), AclSizeInformation) != 0);
  require(size.AceCount == 1);
  const ACCESS_ALLOWED_ACE& entry = allowed_entry(parts.list, 0);
  // Any flag (inherited, inheritable, audit) marks an entry the archive did not write.
  require(entry.Header.AceFlags == 0);
  // Exact: a generic right (which is mapped only when access is checked) or any right
  // more or less than mask is refused.
  require(entry.Mask == mask);
  const PSID grantee = entry_sid(entry);
  require(::IsValidSid(grantee) != 0 && ::EqualSid(grantee, user) != 0);
}

ACCESS_MASK first_entry_mask(PACL list) {
  require(list != nullptr && ::IsValidAcl(list) != 0);
  return allowed_entry(list, 0).Mask;
}

}  // namespace zu::archive_fs::windows
