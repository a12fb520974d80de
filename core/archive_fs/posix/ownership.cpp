#include "archive_fs/posix/ownership.hpp"

#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <ctime>
#include <string_view>

#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

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

// listed_without_lists returns whether listxattr names no list among the object's
// extended attributes: every list attached to an object is among the names listxattr
// reports (a file system mounted without lists neither lists nor reads them, and then
// carries none as far as these checks go). False also when the names do not fit a small
// buffer or the question fails: then each list is asked for by name.
bool listed_without_lists(NativeHandle descriptor) noexcept {
  char names[512];
  const ssize_t size = retry([&] { return ::flistxattr(descriptor, names, sizeof names); });
  if (size < 0) return false;
  for (std::string_view rest(names, static_cast<std::size_t>(size)); !rest.empty();) {
    const std::string_view name = rest.substr(0, rest.find('\0'));
    if (name == kAccessList || name == kDefaultList) return false;
    rest.remove_prefix(std::min(rest.size(), name.size() + 1));
  }
  return true;
}

void require_no_acls(NativeHandle descriptor, const Look& look) {
  // A directory may carry two lists; one question about all names answers for both
  // where there are none, which is how the archive's directories are.
  if (look.directory && listed_without_lists(descriptor)) return;
  require(!carries(descriptor, kAccessList));
  if (look.directory) require(!carries(descriptor, kDefaultList));
}

void require_no_lists(AdmittedListMemory* memory, NativeHandle descriptor, const Look& look,
                      std::int64_t now) {
  const ListMemory::Object object = listed_object(look);
  if (memory != nullptr && memory->known_free(object)) return;
  require_no_acls(descriptor, look);
  if (memory != nullptr) memory->read_free(object, now);
}

ListMemory::Object listed_object(const Look& look) noexcept {
  return {static_cast<std::uint64_t>(look.identity.device),
          static_cast<std::uint64_t>(look.identity.inode), look.change_time};
}

std::int64_t real_time_now() {
  timespec now{};
  require(::clock_gettime(CLOCK_REALTIME, &now) == 0);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
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
