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

void check_private(NativeHandle descriptor, const Info& info, mode_t mode) {
  require(info.owner == ::geteuid());
  require(info.mode == mode);
  require(!carries(descriptor, kAccessList));
  if (info.directory) require(!carries(descriptor, kDefaultList));
}

void drop_inherited_acls(NativeHandle descriptor, bool directory) {
  drop(descriptor, kAccessList);
  if (directory) drop(descriptor, kDefaultList);
}

}  // namespace zu::archive_fs::posix
