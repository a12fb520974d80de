#include "archive_fs/windows/removal.hpp"

#include <utility>

#include "archive_fs/windows/disposition.hpp"
#include "archive_fs/windows/open_relative.hpp"
#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs::windows {
namespace {

// identity returns the volume serial number and file index of an open object, or
// nothing usable (false) when it cannot be queried.
bool identity(NativeHandle handle, BY_HANDLE_FILE_INFORMATION& info) noexcept {
  return ::GetFileInformationByHandle(handle, &info) != 0;
}

bool same_identity(const BY_HANDLE_FILE_INFORMATION& a,
                   const BY_HANDLE_FILE_INFORMATION& b) noexcept {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

void remove_directory(const Handle& parent, Handle directory, std::wstring_view name) noexcept {
  BY_HANDLE_FILE_INFORMATION made{};
  const bool known = identity(directory.get(), made) &&
                     (made.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  directory = Handle();
  // Without the identity of what was made, nothing under the name is provably ours.
  if (!known) return;
  try {
    // Once the handle is closed another writer of parent may have put an object of its
    // own under the name; only the very directory made is removed.
    const Handle again = open_relative(parent.get(), name, kRemoveDirectoryRow);
    BY_HANDLE_FILE_INFORMATION found{};
    if (identity(again.get(), found) && same_identity(made, found)) {
      // The file system refuses the disposition of a directory that is not empty.
      mark_for_deletion(again.get());
    }
  } catch (...) {
    // Nothing to report: the caller is already passing on a failure of its own.
  }
}

}  // namespace zu::archive_fs::windows
