#include "archive_fs/identity.hpp"

#include "archive_fs/posix/query.hpp"

namespace zu::archive_fs {

bool same_object(const Handle& a, const Handle& b) {
  return posix::look(a.get()).identity == posix::look(b.get()).identity;
}

}  // namespace zu::archive_fs
