#include "archive_fs/require.hpp"
#include "archive_fs/windows/query.hpp"

#include <cstdint>

namespace zu::archive_fs::windows {

Info query_file(NativeHandle handle) {
  require(::GetFileType(handle) == FILE_TYPE_DISK);
  BY_HANDLE_FILE_INFORMATION by_handle{};
  require(::GetFileInformationByHandle(handle, &by_handle) != 0);
  FILE_BASIC_INFO basic{};
  require(::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) != 0);
  FILE_STANDARD_INFO standard{};
  require(::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard,
                                         sizeof(standard)) != 0);
  // A file whose delete disposition is set is already on its way out; its name may be
  // gone for new opens while this handle still reads it.
  require(standard.DeletePending == FALSE);
  require((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
  require((by_handle.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
  require(standard.EndOfFile.QuadPart >= 0);

  Info info;
  info.status.volume = by_handle.dwVolumeSerialNumber;
  info.status.file_id = std::uint64_t{by_handle.nFileIndexHigh} << 32 | by_handle.nFileIndexLow;
  info.status.size = standard.EndOfFile.QuadPart;
  info.status.last_write_time = basic.LastWriteTime.QuadPart;
  info.status.change_time = basic.ChangeTime.QuadPart;
  info.directory = standard.Directory != FALSE;
  info.links = standard.NumberOfLinks;
  info.handle_links = by_handle.nNumberOfLinks;
  return info;
}

}  // namespace zu::archive_fs::windows
