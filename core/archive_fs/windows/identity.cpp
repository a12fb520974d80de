#include "archive_fs/identity.hpp"

#include "archive_fs/require.hpp"
#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs {

bool same_object(const Handle& a, const Handle& b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  require(::GetFileInformationByHandle(a.get(), &first) != 0 &&
          ::GetFileInformationByHandle(b.get(), &second) != 0);
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace zu::archive_fs
