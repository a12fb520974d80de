#include "archive_fs/discard.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zu::archive_fs {

void discard_directory(const Handle& parent, Handle directory, const std::string& name) noexcept {
  struct stat own {};
  struct stat entry {};
  if (::fstat(directory.get(), &own) != 0 || !S_ISDIR(own.st_mode)) return;
  if (::fstatat(parent.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (entry.st_dev != own.st_dev || entry.st_ino != own.st_ino) return;
  // POSIX removes by name only. rmdir refuses a directory that is not empty, so the
  // most a writer of the parent racing this call could lose is an empty directory of
  // its own swapped in between the check and the removal.
  ::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR);
}

}  // namespace zu::archive_fs
