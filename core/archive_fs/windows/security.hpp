// The current user and the one security descriptor the archive creates objects with.
#pragma once

#include <memory>

#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs::windows {

// UserRecord holds the user record (TOKEN_USER) of a token; sid() is the user's
// identifier, which lives inside the record. A plain owner, used by one thread.
class UserRecord {
 public:
  explicit UserRecord(std::unique_ptr<unsigned char[]> record) noexcept;

  // sid returns the user's identifier, valid while this object lives. (nonnull)
  [[nodiscard]] PSID sid() const noexcept;

 private:
  // record_ holds a TOKEN_USER and the identifier it points into. (nonnull)
  std::unique_ptr<unsigned char[]> record_;
};

// current_user returns the user of the calling thread's token, or of the process token
// when the thread is not impersonating. It throws Rejected when the token cannot be read
// or its identifier is not valid.
UserRecord current_user();

// PrivateDescriptor is the descriptor new objects are created with and sealed files get
// their list from: owner the current user, no group, and a protected access list of one
// entry that grants mask to the current user and is not inherited. It owns the user
// record, the list and the descriptor and frees them when destroyed; it is neither copied
// nor moved, since the descriptor points into its own members.
class PrivateDescriptor {
 public:
  // PrivateDescriptor builds the descriptor for mask. It throws Rejected when any step
  // fails.
  explicit PrivateDescriptor(ACCESS_MASK mask);

  PrivateDescriptor(const PrivateDescriptor&) = delete;
  PrivateDescriptor& operator=(const PrivateDescriptor&) = delete;

  // get returns the absolute descriptor, valid while this object lives. (nonnull)
  [[nodiscard]] PSECURITY_DESCRIPTOR get() noexcept { return &descriptor_; }

  // list returns the access list alone. (nonnull)
  [[nodiscard]] PACL list() const noexcept;

 private:
  UserRecord user_;
  // list_ is DWORD storage so that the list is aligned as the system expects. (nonnull)
  std::unique_ptr<DWORD[]> list_;
  SECURITY_DESCRIPTOR descriptor_{};
};

}  // namespace zu::archive_fs::windows
