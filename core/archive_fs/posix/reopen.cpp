#include "archive_fs/posix/reopen.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs::posix {

Handle reopen_file(NativeHandle descriptor) {
  struct stat before {};
  require(descriptor >= 0 && ::fstat(descriptor, &before) == 0 && S_ISREG(before.st_mode));
  const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
  Handle fresh(retry(
      [&] { return ::open(link.c_str(), kFileReopen); }));
  require(static_cast<bool>(fresh));
  struct stat after {};
  require(::fstat(fresh.get(), &after) == 0);
  require(after.st_dev == before.st_dev && after.st_ino == before.st_ino);
  return fresh;
}

}  // namespace zu::archive_fs::posix
