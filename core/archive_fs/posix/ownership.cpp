#include "archive_fs/posix/ownership.hpp"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs::posix {
namespace {

constexpr const char* kAccessList = "system.posix_acl_access";
constexpr const char* kDefaultList = "system.posix_acl_default";

// A file system without access control lists reports that it does not support the
// attribute at all: such an object cannot carry a list.
bool unsupported(int error) noexcept { return error == ENOTSUP || error == EOPNOTSUPP; }

bool carries(NativeHandle descriptor, const char* list) {
  const ssize_t size = retry([&] { return ::fgetxattr(descriptor, list, nullptr, 0); });
  if (size >= 0) return true;
  require(errno == ENODATA || unsupported(errno));
  return false;
}

void drop(NativeHandle descriptor, const char* list) {
  if (retry([&] { return ::fremovexattr(descriptor, list); }) == 0) return;
  require(errno == ENODATA || unsupported(errno));
}

}  // namespace

void require_shape(const Look& look, mode_t mode, uid_t user) {
  require(look.owner == user);
  require(look.mode == mode);
}

void require_no_acls(NativeHandle descriptor, const Look& look) {
  require(!carries(descriptor, kAccessList));
  if (look.directory) require(!carries(descriptor, kDefaultList));
}

void check_private(NativeHandle descriptor, const Look& look, mode_t mode) {
  require_shape(look, mode, ::geteuid());
  require_no_acls(descriptor, look);
}

void drop_inherited_acls(NativeHandle descriptor, Kind kind) {
  drop(descriptor, kAccessList);
  if (kind == Kind::directory) drop(descriptor, kDefaultList);
}

}  // namespace zu::archive_fs::posix
