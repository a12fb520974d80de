#include "archive_fs/posix/reopen.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

namespace zu::archive_fs::posix {

Handle reopen_file(NativeHandle descriptor) {
  struct stat before {};
  require(descriptor >= 0 && ::fstat(descriptor, &before) == 0 && S_ISREG(before.st_mode));
  const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
  Handle fresh(retry([&] { return ::open(link.c_str(), kFileReopen); }));
  require(static_cast<bool>(fresh));
  // Whatever is mounted at /proc answers the open; only the same file is accepted.
  struct stat after {};
  require(::fstat(fresh.get(), &after) == 0 && identity_of(after) == identity_of(before));
  return fresh;
}

}  // namespace zu::archive_fs::posix
