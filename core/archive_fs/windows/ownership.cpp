#include "archive_fs/windows/ownership.hpp"

#include "archive_fs/require.hpp"
#include "archive_fs/windows/private_shape.hpp"
#include "archive_fs/windows/security.hpp"

namespace zu::archive_fs::windows {
namespace {

// ObjectSecurity reads the owner and access list of an open object and frees the
// descriptor they live in when it ends. A plain owner, used by one thread.
class ObjectSecurity {
 public:
  explicit ObjectSecurity(NativeHandle handle) {
    require(::GetSecurityInfo(handle, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &parts_.owner, nullptr, &parts_.list, nullptr,
                              &descriptor_) == ERROR_SUCCESS);
    DWORD revision = 0;
    require(::GetSecurityDescriptorControl(descriptor_, &parts_.control, &revision) != 0);
  }
  ~ObjectSecurity() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  ObjectSecurity(const ObjectSecurity&) = delete;
  ObjectSecurity& operator=(const ObjectSecurity&) = delete;

  // parts returns the owner, list and control bits, valid while this object lives.
  [[nodiscard]] const DescriptorParts& parts() const noexcept { return parts_; }

 private:
  // descriptor_ is the self-relative descriptor the parts point into. (nullable until read)
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  DescriptorParts parts_;
};

}  // namespace

void check_private(NativeHandle handle, ACCESS_MASK mask) {
  const ObjectSecurity security(handle);
  // Read on every check: a thread that impersonates another user sees that user.
  const UserRecord user = current_user();
  check_private_shape(security.parts(), user.sid(), mask);
}

void check_private_entry(NativeHandle handle) {
  // One read serves both the choice of mask and the check, so the two cannot see
  // different lists.
  const ObjectSecurity security(handle);
  const ACCESS_MASK mask = first_entry_mask(security.parts().list);
  require(mask == kSealedMask || mask == kWritableMask);
  const UserRecord user = current_user();
  check_private_shape(security.parts(), user.sid(), mask);
}

}  // namespace zu::archive_fs::windows
