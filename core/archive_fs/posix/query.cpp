#include "archive_fs/posix/query.hpp"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

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
std::uint64_t volume_of(const struct statfs& system, dev_t device) noexcept {
  int raw[2];
  static_assert(sizeof(raw) == sizeof(system.f_fsid));
  std::memcpy(raw, &system.f_fsid, sizeof(raw));
  const std::uint64_t fsid = static_cast<std::uint64_t>(static_cast<std::uint32_t>(raw[1])) << 32 |
                             static_cast<std::uint32_t>(raw[0]);
  return fsid != 0 ? fsid : static_cast<std::uint64_t>(device);
}

std::int64_t nanoseconds(std::int64_t seconds, std::uint32_t fraction) {
  std::int64_t result = 0;
  require(!__builtin_mul_overflow(seconds, 1'000'000'000, &result));
  require(!__builtin_add_overflow(result, static_cast<std::int64_t>(fraction), &result));
  return result;
}

// The members of a statx result that every look needs: what fstat would report. The
// mount is asked as well; kernels before Linux 5.8 leave it out.
constexpr unsigned kNeeded = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_UID | STATX_INO |
                             STATX_SIZE | STATX_MTIME | STATX_CTIME;
constexpr unsigned kAsked = kNeeded | STATX_MNT_ID;

Identity identity_from(const struct statx& file) noexcept {
  return {makedev(file.stx_dev_major, file.stx_dev_minor), file.stx_ino};
}

// look_from checks what statx reported and returns it as a Look.
Look look_from(const struct statx& file) {
  require((file.stx_mask & kNeeded) == kNeeded);
  require(S_ISREG(file.stx_mode) || S_ISDIR(file.stx_mode));
  require(file.stx_nlink > 0);
  require(static_cast<std::int64_t>(file.stx_size) >= 0);
  Look look;
  look.directory = S_ISDIR(file.stx_mode);
  look.links = file.stx_nlink;
  look.owner = file.stx_uid;
  look.mode = file.stx_mode & 07777;
  look.identity = identity_from(file);
  look.mount = (file.stx_mask & STATX_MNT_ID) != 0 ? file.stx_mnt_id : 0;
  look.size = static_cast<std::int64_t>(file.stx_size);
  look.last_write_time = nanoseconds(file.stx_mtime.tv_sec, file.stx_mtime.tv_nsec);
  look.change_time = nanoseconds(file.stx_ctime.tv_sec, file.stx_ctime.tv_nsec);
  return look;
}

// look_with returns the statx of descriptor with `extra` asked for besides what every
// look needs.
struct statx look_with(NativeHandle descriptor, unsigned extra) {
  struct statx file {};
  require(retry([&] {
            return ::statx(descriptor, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, kAsked | extra,
                           &file);
          }) == 0);
  return file;
}

// accepted_system returns the file system of descriptor, which must be an accepted one.
struct statfs accepted_system(NativeHandle descriptor) {
  struct statfs system {};
  require(retry([&] { return ::fstatfs(descriptor, &system); }) == 0);
  require(accepted(system));
  return system;
}

// generation_of returns the inode's generation number, which the file system draws anew
// each time it hands out an inode, with bit 32 set to tell it from none; 0 where the file
// system keeps none. ext4, xfs, btrfs and f2fs keep one; tmpfs and overlayfs do not.
std::uint64_t generation_of(NativeHandle descriptor) {
  // The kernel stores an int; a long leaves room should some file system store more.
  long word = 0;
  if (::ioctl(descriptor, FS_IOC_GETVERSION, &word) != 0) {
    require(errno == ENOTTY || errno == EOPNOTSUPP || errno == EINVAL);
    return 0;
  }
  std::uint32_t generation = 0;
  std::memcpy(&generation, &word, sizeof generation);
  return std::uint64_t{1} << 32 | generation;
}

// mix is the last step of SplitMix64: a bijection of 64-bit words in which every input
// bit moves every output bit. It maps 0 to 0.
constexpr std::uint64_t mix(std::uint64_t x) noexcept {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
  return x ^ (x >> 31);
}

// file_id_of folds an inode's generation and birth time into its number, so that a file
// made later on a freed inode number is another file. For one inode number, two births
// that differ in only one of the two always give two identities (mix is a bijection);
// births that differ in both collide with a chance of 2^-64. Where the file system keeps
// neither, both are 0 and the identity is the inode number itself.
std::uint64_t file_id_of(std::uint64_t inode, std::uint64_t generation, std::uint64_t born) noexcept {
  return inode ^ mix(mix(generation) ^ born);
}

}  // namespace

Identity identity_of(const struct stat& seen) noexcept { return {seen.st_dev, seen.st_ino}; }

bool unchanged_look(const Look& a, const Look& b) noexcept {
  return a.identity == b.identity && a.size == b.size &&
         a.last_write_time == b.last_write_time && a.change_time == b.change_time;
}

Look look(NativeHandle descriptor) { return look_from(look_with(descriptor, 0)); }

std::optional<Look> look_entry(const Handle& directory, const std::string& name,
                               std::uint64_t mount) {
  struct statx file {};
  if (retry([&] {
        return ::statx(directory.get(), name.c_str(),
                       AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, kAsked, &file);
      }) != 0) {
    require(errno == ENOENT);
    return std::nullopt;
  }
  // Checked before anything else is read: what lies on another mount is not ours to
  // judge from here.
  require((file.stx_mask & STATX_MNT_ID) != 0 && file.stx_mnt_id == mount);
  return look_from(file);
}

bool denotes(const Handle& directory, const std::string& name, const Identity& identity) noexcept {
  struct statx entry {};
  if (retry([&] {
        return ::statx(directory.get(), name.c_str(),
                       AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_INO,
                       &entry);
      }) != 0) {
    return false;
  }
  return (entry.stx_mask & STATX_INO) != 0 && identity_from(entry) == identity;
}

void require_accepted_file_system(NativeHandle descriptor) {
  static_cast<void>(accepted_system(descriptor));
}

Look accepted_look(NativeHandle descriptor) {
  const Look seen = look(descriptor);
  static_cast<void>(accepted_system(descriptor));
  return seen;
}

Info query(NativeHandle descriptor) {
  // One statx gives what fstat would, and the birth time where the file system keeps it.
  const struct statx file = look_with(descriptor, STATX_BTIME);
  Info info;
  info.look = look_from(file);
  const struct statfs system = accepted_system(descriptor);

  // Asked only now: the file system is a local one, so the question waits on no daemon.
  const std::uint64_t generation = generation_of(descriptor);
  const std::uint64_t born =
      (file.stx_mask & STATX_BTIME) == 0
          ? 0
          : static_cast<std::uint64_t>(file.stx_btime.tv_sec) * 1'000'000'000 + file.stx_btime.tv_nsec;

  info.status.volume = volume_of(system, info.look.identity.device);
  info.status.file_id = file_id_of(file.stx_ino, generation, born);
  info.status.size = info.look.size;
  info.status.last_write_time = info.look.last_write_time;
  info.status.change_time = info.look.change_time;
  return info;
}

}  // namespace zu::archive_fs::posix
