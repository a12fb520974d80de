#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/checked_open.hpp"
#include "archive_fs/posix/mounts.hpp"
#include "archive_fs/posix/path.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {
namespace {

// current_directory returns the working directory's absolute path, read once: a
// relative path is resolved from the root like any other, so each of its components is
// checked too.
std::string current_directory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::char_traits<char>::length(buffer.c_str()));
      // A directory outside the process's root comes back without a leading '/'.
      require(!buffer.empty() && buffer.front() == '/');
      return buffer;
    }
    require(errno == ERANGE && buffer.size() < (std::size_t{1} << 20));
    buffer.resize(buffer.size() * 2);
  }
}

// require_same_directory throws unless working, a path-only descriptor of the working
// directory, is the directory walked to along its path text. The mounts are compared
// first: only once working is known to lie on walked's accepted file system may it be
// looked at.
void require_same_directory(const Handle& working, const Handle& walked) {
  const posix::Look own = posix::look(walked.get());
  require(posix::mount_id(working.get()) == own.mount);
  struct stat seen {};
  require(::fstat(working.get(), &seen) == 0);
  require(posix::identity_of(seen) == own.identity);
}

}  // namespace

Location locate(std::string_view path) {
  // The whole text is checked first, so invalid UTF-8 or a NUL anywhere refuses the path
  // even where no component would reach it.
  widen(path);
  require(path.back() != '/');
  std::string absolute;
  // A relative path is walked from the root along the working directory's path text. The
  // directory itself is held first, so that a rename above it between reading the text
  // and walking it cannot lead the walk elsewhere unnoticed.
  Handle working;
  std::size_t working_depth = 0;
  if (path.front() != '/') {
    working = Handle(posix::retry([] { return ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC); }));
    require(static_cast<bool>(working));
    absolute = current_directory();
    if (absolute.back() != '/') absolute.push_back('/');
    working_depth = static_cast<std::size_t>(std::count(absolute.begin(), absolute.end(), '/')) - 1;
  }
  absolute.append(path);

  const std::vector<std::string_view> components = posix::components_of(absolute);

  Location location;
  posix::Opened current = posix::open_root();
  for (std::size_t walked = 0;; ++walked) {
    if (working && walked == working_depth) require_same_directory(working, current.handle);
    if (walked + 1 == components.size()) break;
    posix::Opened next = posix::open_entry_in(current.handle, current.mount,
                                              std::string(components[walked]),
                                              Kind::directory, Missing::refused);
    location.ancestors.push_back(std::move(current.handle));
    current = std::move(next);
  }
  location.parent = std::move(current.handle);
  location.name = std::string(components.back());
  return location;
}

}  // namespace zu::archive_fs
