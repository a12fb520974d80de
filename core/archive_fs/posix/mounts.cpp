#include "archive_fs/posix/mounts.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <string>

#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

namespace zu::archive_fs::posix {
namespace {

// The mount table is kernel text of about 150 bytes a mount; a table beyond this size is
// refused rather than read into ever more memory.
constexpr std::size_t kMaxTableBytes = std::size_t{16} << 20;

// The types whose magic numbers query accepts, as the mount table spells them. devtmpfs
// is tmpfs under another name and reports tmpfs's magic number.
constexpr std::string_view kAccepted[] = {"ext2", "ext3",  "ext4",    "xfs",      "btrfs",
                                          "f2fs", "zfs",   "tmpfs",   "devtmpfs", "overlay"};

// next_field returns the text of line up to its first space and removes it, with the
// space, from line. Fields are separated by single spaces; the kernel escapes any space
// inside a field as \040.
std::string_view next_field(std::string_view& line) {
  const std::size_t space = line.find(' ');
  const std::string_view field = line.substr(0, space);
  line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
  return field;
}

std::string read_mount_table() {
  const Handle table(retry([] { return ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC); }));
  require(static_cast<bool>(table));
  std::string text;
  std::size_t used = 0;
  for (;;) {
    if (used == text.size()) {
      require(text.size() < kMaxTableBytes);
      text.resize(std::min(kMaxTableBytes, std::max(text.size() * 2, std::size_t{16} << 10)));
    }
    const ssize_t got =
        retry([&] { return ::read(table.get(), text.data() + used, text.size() - used); });
    require(got >= 0);
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  text.resize(used);
  return text;
}

}  // namespace

std::uint64_t mount_id(NativeHandle descriptor) {
  // AT_STATX_DONT_SYNC lets FUSE and network file systems answer from what the kernel
  // already holds instead of asking their daemon or server.
  struct statx seen {};
  require(retry([&] {
            return ::statx(descriptor, "",
                           AT_EMPTY_PATH | AT_STATX_DONT_SYNC | AT_SYMLINK_NOFOLLOW,
                           STATX_MNT_ID, &seen);
          }) == 0);
  require((seen.stx_mask & STATX_MNT_ID) != 0);
  return seen.stx_mnt_id;
}

std::string_view mount_type(std::string_view mountinfo, std::uint64_t id) {
  while (!mountinfo.empty()) {
    const std::size_t end = mountinfo.find('\n');
    std::string_view line = mountinfo.substr(0, end);
    mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);

    const std::string_view first = next_field(line);
    std::uint64_t number = 0;
    const auto [stop, error] = std::from_chars(first.data(), first.data() + first.size(), number);
    if (error != std::errc{} || stop != first.data() + first.size() || number != id) continue;
    // The parent's id, the device, the root, the mount point and the mount options come
    // next, then any number of optional fields up to a lone "-", then the type.
    for (int field = 0; field < 5; ++field) require(!next_field(line).empty());
    for (std::string_view field = next_field(line); field != "-"; field = next_field(line)) {
      require(!field.empty());
    }
    const std::string_view type = next_field(line);
    require(!type.empty());
    return type;
  }
  return {};
}

void require_accepted_mount(std::uint64_t id) {
  const std::string table = read_mount_table();
  const std::string_view type = mount_type(table, id);
  require(std::find(std::begin(kAccepted), std::end(kAccepted), type) != std::end(kAccepted));
}

}  // namespace zu::archive_fs::posix
