// The components of an absolute path, as every resolution of one takes them apart.
#pragma once

#include <string_view>
#include <vector>

namespace zu::archive_fs::posix {

// components_of returns the components of `absolute`, which begins with '/', in path
// order, each checked by the name rules (checked_name). It throws Rejected for an empty
// component (a doubled or trailing separator) and for any component that breaks a rule.
// The views point into `absolute`.
std::vector<std::string_view> components_of(std::string_view absolute);

}  // namespace zu::archive_fs::posix
