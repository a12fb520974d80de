#include "archive_fs/posix/query.hpp"

#include <sys/vfs.h>

#include <cstdint>
#include <cstring>
#include <ctime>

#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs::posix {
namespace {

// The local disk file systems whose owners and modes mean what they say. Network file
// systems (whose server may ignore or remap ownership), FUSE (whose daemon answers every
// lookup), FAT-like systems (which have no owners) and virtual ones such as /proc are
// all left out. The mount table check (mounts.cpp) accepts the same file systems by name.
constexpr std::uint32_t kAccepted[] = {
    0xEF53,      // ext2, ext3, ext4
    0x58465342,  // xfs
    0x9123683E,  // btrfs
    0xF2F52010,  // f2fs
    0x2FC12FC1,  // zfs
    0x01021994,  // tmpfs
    0x794C7630,  // overlayfs
};

bool accepted(const struct statfs& system) noexcept {
  const auto type = static_cast<std::uint32_t>(system.f_type);
  for (const std::uint32_t magic : kAccepted) {
    if (type == magic) return true;
  }
  return false;
}

// volume_of prefers the file system's own identifier, which ext4, btrfs and zfs derive
// from the file system's UUID: unlike st_dev it survives a remount or a renumbered
// device, which would otherwise lock a user out of their own archive.
std::uint64_t volume_of(const struct statfs& system, const struct stat& file) noexcept {
  int raw[2];
  static_assert(sizeof(raw) == sizeof(system.f_fsid));
  std::memcpy(raw, &system.f_fsid, sizeof(raw));
  const std::uint64_t fsid = static_cast<std::uint64_t>(static_cast<std::uint32_t>(raw[1])) << 32 |
                             static_cast<std::uint32_t>(raw[0]);
  return fsid != 0 ? fsid : static_cast<std::uint64_t>(file.st_dev);
}

std::int64_t nanoseconds(const struct timespec& time) {
  std::int64_t result = 0;
  require(!__builtin_mul_overflow(static_cast<std::int64_t>(time.tv_sec), 1'000'000'000, &result));
  require(!__builtin_add_overflow(result, static_cast<std::int64_t>(time.tv_nsec), &result));
  return result;
}

}  // namespace

Info query(NativeHandle descriptor) {
  struct stat file {};
  require(retry([&] { return ::fstat(descriptor, &file); }) == 0);
  require(S_ISREG(file.st_mode) || S_ISDIR(file.st_mode));
  require(file.st_nlink > 0);
  require(file.st_size >= 0);
  struct statfs system {};
  require(retry([&] { return ::fstatfs(descriptor, &system); }) == 0);
  require(accepted(system));

  Info info;
  info.status.volume = volume_of(system, file);
  info.status.file_id = static_cast<std::uint64_t>(file.st_ino);
  info.status.size = static_cast<std::int64_t>(file.st_size);
  info.status.last_write_time = nanoseconds(file.st_mtim);
  info.status.change_time = nanoseconds(file.st_ctim);
  info.directory = S_ISDIR(file.st_mode);
  info.links = file.st_nlink;
  info.owner = file.st_uid;
  info.mode = file.st_mode & 07777;
  info.device = file.st_dev;
  info.inode = file.st_ino;
  return info;
}

bool same_entry(const struct stat& entry, const Info& info) noexcept {
  return entry.st_dev == info.device && entry.st_ino == info.inode;
}

}  // namespace zu::archive_fs::posix
