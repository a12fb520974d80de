// The exact private shape of a security descriptor, judged on descriptors built in
// memory: the one the archive creates objects with, and near misses of it.
#include <gtest/gtest.h>

#include <vector>

#include "archive_fs/windows/private_shape.hpp"
#include "archive_fs/windows/security.hpp"
#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {
namespace {

// TestSid is a user identifier S-1-5-21-1-2-3-rid held in its own aligned storage.
class TestSid {
 public:
  explicit TestSid(DWORD rid) : storage_(16, 0) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    EXPECT_NE(::InitializeSid(get(), &nt, 5), 0);
    const DWORD parts[] = {21, 1, 2, 3, rid};
    for (DWORD i = 0; i < 5; ++i) *::GetSidSubAuthority(get(), i) = parts[i];
  }
  [[nodiscard]] PSID get() noexcept { return storage_.data(); }

 private:
  std::vector<DWORD> storage_;
};

// TestList is an access list built entry by entry.
class TestList {
 public:
  TestList() : storage_(256, 0) {
    EXPECT_NE(::InitializeAcl(get(), static_cast<DWORD>(storage_.size() * sizeof(DWORD)),
                              ACL_REVISION),
              0);
  }
  TestList& allow(PSID sid, ACCESS_MASK mask, BYTE flags = 0) {
    EXPECT_NE(::AddAccessAllowedAceEx(get(), ACL_REVISION, flags, mask, sid), 0);
    return *this;
  }
  TestList& deny(PSID sid, ACCESS_MASK mask) {
    EXPECT_NE(::AddAccessDeniedAceEx(get(), ACL_REVISION, 0, mask, sid), 0);
    return *this;
  }
  [[nodiscard]] PACL get() noexcept { return reinterpret_cast<PACL>(storage_.data()); }

 private:
  std::vector<DWORD> storage_;
};

class PrivateShape : public ::testing::Test {
 protected:
  // shape returns the parts of a descriptor owned by owner, protected unless told not
  // to be.
  static DescriptorParts shape(PSID owner, PACL list, bool protect = true) {
    return {owner, list, static_cast<SECURITY_DESCRIPTOR_CONTROL>(
                             SE_DACL_PRESENT | (protect ? SE_DACL_PROTECTED : 0))};
  }

  TestSid user_{1001};
  TestSid other_{1002};
};

DescriptorParts parts_of(PrivateDescriptor& descriptor) {
  DescriptorParts parts;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  EXPECT_NE(::GetSecurityDescriptorOwner(descriptor.get(), &parts.owner, &defaulted), 0);
  EXPECT_FALSE(defaulted);
  EXPECT_NE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &parts.list, &defaulted), 0);
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  DWORD revision = 0;
  EXPECT_NE(::GetSecurityDescriptorControl(descriptor.get(), &parts.control, &revision), 0);
  return parts;
}

TEST(PrivateDescriptorShape, PassesTheCheckForItsOwnMaskOnly) {
  const UserRecord user = current_user();
  PrivateDescriptor writable(kWritableMask);
  PrivateDescriptor sealed(kSealedMask);
  EXPECT_NO_THROW(check_private_shape(parts_of(writable), user.sid(), kWritableMask));
  EXPECT_NO_THROW(check_private_shape(parts_of(sealed), user.sid(), kSealedMask));
  EXPECT_THROW(check_private_shape(parts_of(writable), user.sid(), kSealedMask), Rejected);
  EXPECT_THROW(check_private_shape(parts_of(sealed), user.sid(), kWritableMask), Rejected);
}

TEST(PrivateDescriptorShape, SizesItsListForExactlyOneEntry) {
  const UserRecord user = current_user();
  PrivateDescriptor descriptor(kSealedMask);
  EXPECT_EQ(descriptor.list()->AclSize, ::GetLengthSid(user.sid()) + 16);
  EXPECT_EQ(descriptor.list()->AceCount, 1);
}

TEST_F(PrivateShape, AcceptsOneProtectedEntryForTheOwner) {
  TestList list;
  list.allow(user_.get(), FILE_ALL_ACCESS);
  EXPECT_NO_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS));
}

TEST_F(PrivateShape, RefusesASecondEntry) {
  TestList for_other;
  for_other.allow(user_.get(), FILE_ALL_ACCESS).allow(other_.get(), FILE_GENERIC_READ);
  EXPECT_THROW(check_private_shape(shape(user_.get(), for_other.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
  TestList twice;
  twice.allow(user_.get(), FILE_ALL_ACCESS).allow(user_.get(), FILE_ALL_ACCESS);
  EXPECT_THROW(check_private_shape(shape(user_.get(), twice.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesAnUnprotectedList) {
  TestList list;
  list.allow(user_.get(), FILE_ALL_ACCESS);
  EXPECT_THROW(
      check_private_shape(shape(user_.get(), list.get(), false), user_.get(), FILE_ALL_ACCESS),
      Rejected);
}

TEST_F(PrivateShape, RefusesAnInheritedEntry) {
  TestList list;
  list.allow(user_.get(), FILE_ALL_ACCESS, INHERITED_ACE);
  EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesAnyFlagOnTheEntry) {
  for (const BYTE flags : {BYTE{OBJECT_INHERIT_ACE}, BYTE{CONTAINER_INHERIT_ACE},
                           BYTE{NO_PROPAGATE_INHERIT_ACE | OBJECT_INHERIT_ACE},
                           BYTE{INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE}}) {
    TestList list;
    list.allow(user_.get(), FILE_ALL_ACCESS, flags);
    EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
                 Rejected)
        << static_cast<int>(flags);
  }
}

TEST_F(PrivateShape, RefusesMoreRightsThanFullControl) {
  TestList list;
  list.allow(user_.get(), FILE_ALL_ACCESS | ACCESS_SYSTEM_SECURITY);
  EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesGenericReadForTheMappedReadRights) {
  TestList list;
  list.allow(user_.get(), GENERIC_READ);
  EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_GENERIC_READ),
               Rejected);
}

TEST_F(PrivateShape, RefusesFewerRightsThanAsked) {
  TestList list;
  list.allow(user_.get(), FILE_GENERIC_READ);
  EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesAnotherOwnerOrNone) {
  TestList list;
  list.allow(user_.get(), FILE_ALL_ACCESS);
  EXPECT_THROW(check_private_shape(shape(other_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
  EXPECT_THROW(check_private_shape(shape(nullptr, list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesAnEntryForAnotherUser) {
  TestList list;
  list.allow(other_.get(), FILE_ALL_ACCESS);
  EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesADenyEntry) {
  TestList list;
  list.deny(user_.get(), FILE_ALL_ACCESS);
  EXPECT_THROW(check_private_shape(shape(user_.get(), list.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, RefusesAMissingOrEmptyList) {
  // No list at all grants everyone everything.
  EXPECT_THROW(check_private_shape(shape(user_.get(), nullptr), user_.get(), FILE_ALL_ACCESS),
               Rejected);
  TestList empty;
  EXPECT_THROW(check_private_shape(shape(user_.get(), empty.get()), user_.get(), FILE_ALL_ACCESS),
               Rejected);
}

TEST_F(PrivateShape, FirstEntryMaskReadsTheFirstAllowedEntry) {
  TestList list;
  list.allow(user_.get(), FILE_GENERIC_READ).allow(other_.get(), FILE_ALL_ACCESS);
  EXPECT_EQ(first_entry_mask(list.get()), kSealedMask);
  TestList empty;
  EXPECT_THROW((void)first_entry_mask(empty.get()), Rejected);
  EXPECT_THROW((void)first_entry_mask(nullptr), Rejected);
  TestList denied;
  denied.deny(user_.get(), FILE_GENERIC_READ);
  EXPECT_THROW((void)first_entry_mask(denied.get()), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs::windows
