// Small helpers around the POSIX calls of this backend.
#pragma once

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace zu::archive_fs::posix {

// kDirectoryOpen opens a directory for reading without following a symbolic link in the
// last component. O_DIRECTORY makes the kernel refuse anything else before it opens it,
// so a FIFO under the name never blocks the open.
inline constexpr int kDirectoryOpen = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC |
                                      O_NONBLOCK | O_NOCTTY;

// kFileReopen opens a regular file again, read-only, through its entry in /proc/self/fd;
// O_NONBLOCK would keep anything but a regular file from blocking the open, though only
// regular files are ever reopened.
inline constexpr int kFileReopen = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// kSameMount makes openat2 refuse, in the kernel and in the same call, every symbolic
// link (magic links of /proc included) and every mount crossing on the way: what it opens
// lies on the mount of the directory it starts from.
inline constexpr std::uint64_t kSameMount =
    RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;

// how_to returns the open_how of an openat2 with open flags `flags` and resolve flags
// `resolve`.
inline open_how how_to(int flags, std::uint64_t resolve) noexcept {
  open_how how{};
  how.flags = static_cast<unsigned int>(flags);
  how.resolve = resolve;
  return how;
}

// openat2 opens path relative to directory as `how` says and returns the descriptor, or
// -1 with errno set (ENOSYS before Linux 5.6, EINVAL for a flag the kernel does not know).
inline int openat2(int directory, const char* path, const open_how& how) noexcept {
  return static_cast<int>(::syscall(SYS_openat2, directory, path, &how, sizeof how));
}

// retry calls call until it returns anything but -1 with errno EINTR and returns that
// result, so that a signal delivered during a system call never turns into a refusal.
template <typename Call>
auto retry(Call call) {
  for (;;) {
    auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

}  // namespace zu::archive_fs::posix
