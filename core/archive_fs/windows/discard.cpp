#include "archive_fs/discard.hpp"

#include <string>
#include <utility>

#include "archive_fs/windows/removal.hpp"
#include "archive_fs/windows/text.hpp"

namespace zu::archive_fs {

void discard_directory(const Handle& parent, Handle directory, const std::string& name) noexcept {
  try {
    const std::wstring wide = windows::checked_wide_name(name);
    windows::remove_directory(parent, std::move(directory), wide);
  } catch (...) {
    // A name that cannot be checked was never created by this namespace.
  }
}

}  // namespace zu::archive_fs
