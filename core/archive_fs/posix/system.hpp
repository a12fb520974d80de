// Small helpers around the POSIX calls of this backend.
#pragma once

#include <fcntl.h>

#include <cerrno>

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
