#include "scratch.hpp"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zu::archive_fs::testing {
namespace {

int remove_entry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
}

// The kernel's binary form of a POSIX access control list, as stored in the
// system.posix_acl_access and system.posix_acl_default attributes.
void put16(std::vector<char>& out, std::uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}
void put32(std::vector<char>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}
// The owner, group and other entries repeat the object's mode and the mask repeats its
// group bits, so setting the list leaves the mode as it was.
std::vector<char> acl_granting(uid_t user, mode_t mode) {
  const auto bits = [mode](int shift) { return static_cast<std::uint16_t>((mode >> shift) & 7); };
  enum : std::uint16_t { kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20 };
  constexpr std::uint32_t kNoId = 0xFFFFFFFF;
  std::vector<char> out;
  put32(out, 2);  // version
  const struct {
    std::uint16_t tag, perm;
    std::uint32_t id;
  } entries[] = {{kUserObj, bits(6), kNoId}, {kUser, 4, static_cast<std::uint32_t>(user)},
                 {kGroupObj, bits(3), kNoId}, {kMask, bits(3), kNoId}, {kOther, bits(0), kNoId}};
  for (const auto& entry : entries) {
    put16(out, entry.tag);
    put16(out, entry.perm);
    put32(out, entry.id);
  }
  return out;
}

}  // namespace

Scratch::Scratch(const std::string& base) {
  std::string pattern = base + "/zu-archive-fs-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp under " << base << ": " << std::strerror(errno);
    std::abort();
  }
  path_ = pattern;
}

Scratch::~Scratch() { ::nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

std::string Scratch::at(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void make_directory(const std::string& path, mode_t mode) {
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << path << ": " << std::strerror(errno);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

void make_file(const std::string& path, std::string_view bytes, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ASSERT_EQ(::fchmod(fd, mode), 0);
  ::close(fd);
}

struct stat stat_of(const std::string& path) {
  struct stat result {};
  EXPECT_EQ(::lstat(path.c_str(), &result), 0) << path << ": " << std::strerror(errno);
  return result;
}

mode_t mode_of(const std::string& path) { return stat_of(path).st_mode & 07777; }

bool add_acl_entry(const std::string& path, uid_t user, bool default_list) {
  const std::vector<char> acl = acl_granting(user, mode_of(path));
  const char* name = default_list ? "system.posix_acl_default" : "system.posix_acl_access";
  if (::setxattr(path.c_str(), name, acl.data(), acl.size(), 0) == 0) return true;
  EXPECT_TRUE(errno == ENOTSUP || errno == EOPNOTSUPP) << path << ": " << std::strerror(errno);
  return false;
}

Handle open_store(const std::string& path) {
  const Location location = locate(path);
  return open_directory(location.parent, location.name);
}

std::uint64_t volume_of(const std::string& path) {
  struct statfs system {};
  EXPECT_EQ(::statfs(path.c_str(), &system), 0) << path;
  int raw[2];
  std::memcpy(raw, &system.f_fsid, sizeof(raw));
  const std::uint64_t fsid = std::uint64_t{static_cast<std::uint32_t>(raw[1])} << 32 |
                             static_cast<std::uint32_t>(raw[0]);
  return fsid != 0 ? fsid : static_cast<std::uint64_t>(stat_of(path).st_dev);
}

std::uint64_t file_id_of(const std::string& path) {
  const auto mix = [](std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
  };
  struct statx seen {};
  EXPECT_EQ(::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &seen), 0)
      << path << ": " << std::strerror(errno);
  const std::uint64_t born =
      (seen.stx_mask & STATX_BTIME) != 0
          ? static_cast<std::uint64_t>(seen.stx_btime.tv_sec) * 1'000'000'000U + seen.stx_btime.tv_nsec
          : 0;
  std::uint64_t generation = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
  unsigned int number = 0;
  if (fd >= 0 && ::ioctl(fd, FS_IOC_GETVERSION, &number) == 0) generation = (1ULL << 32) | number;
  if (fd >= 0) ::close(fd);
  return seen.stx_ino ^ mix(mix(generation) ^ born);
}

bool same_object(const Handle& handle, const std::string& path) {
  const Status got = status(handle);
  return got.volume == volume_of(path) && got.file_id == file_id_of(path);
}

int in_child(const std::function<int()>& body, int timeout_ms) {
  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return -1;
  }
  if (child == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  // A pidfd becomes readable when the child ends, so the wait needs no polling loop.
  const int ended = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  pollfd wait{ended, POLLIN, 0};
  if (ended < 0 || ::poll(&wait, 1, timeout_ms) != 1) ::kill(child, SIGKILL);
  if (ended >= 0) ::close(ended);
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace zu::archive_fs::testing
