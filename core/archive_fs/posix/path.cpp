#include "archive_fs/posix/path.hpp"

#include "archive_fs/names.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

std::vector<std::string_view> components_of(std::string_view absolute) {
  require(!absolute.empty() && absolute.front() == '/');
  std::vector<std::string_view> components;
  std::string_view rest = absolute.substr(1);
  for (;;) {
    const std::size_t slash = rest.find('/');
    components.push_back(rest.substr(0, slash));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  for (const std::string_view component : components) check_name(component);
  return components;
}

}  // namespace zu::archive_fs::posix
