#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/checked_open.hpp"
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

}  // namespace

Location locate(std::string_view path) {
  // The whole text is checked first, so invalid UTF-8 or a NUL anywhere refuses the path
  // even where no component would reach it.
  widen(path);
  require(path.back() != '/');
  std::string absolute;
  if (path.front() != '/') {
    absolute = current_directory();
    if (absolute.back() != '/') absolute.push_back('/');
  }
  absolute.append(path);

  std::vector<std::string_view> components;
  std::string_view rest = std::string_view(absolute).substr(1);
  for (;;) {
    const std::size_t slash = rest.find('/');
    components.push_back(rest.substr(0, slash));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  for (const std::string_view component : components) checked_name(component);

  Location location;
  Handle current = posix::open_root();
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    Handle next = open_directory(current, std::string(components[i]));
    location.ancestors.push_back(std::move(current));
    current = std::move(next);
  }
  location.parent = std::move(current);
  location.name = std::string(components.back());
  return location;
}

}  // namespace zu::archive_fs
