#include "archive_fs/identity.hpp"

#include <sys/stat.h>

namespace zu::archive_fs {

bool same_object(const Handle& a, const Handle& b) {
  struct stat first {};
  struct stat second {};
  require(::fstat(a.get(), &first) == 0 && ::fstat(b.get(), &second) == 0);
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace zu::archive_fs
