#include "zu/archive_fs/status.hpp"

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

void require(bool condition) {
  if (!condition) throw Rejected{};
}

bool same_file(const Status& a, const Status& b) noexcept {
  return a.volume == b.volume && a.file_id == b.file_id;
}

bool unchanged(const Status& a, const Status& b) noexcept {
  return same_file(a, b) && a.size == b.size && a.last_write_time == b.last_write_time &&
         a.change_time == b.change_time;
}

}  // namespace zu::archive_fs
