// The full status query of this backend: what every operation learns about an open
// handle before it trusts it.
#pragma once

#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs::windows {

// Info is one query's result. status is what the public status() returns; the other
// members are what the checks of this backend look at.
struct Info {
  Status status;
  // directory is the Directory flag of FileStandardInfo.
  bool directory = false;
  // links is NumberOfLinks of FileStandardInfo, handle_links nNumberOfLinks of
  // GetFileInformationByHandle; a regular file of the store must show 1 in both.
  DWORD links = 0;
  DWORD handle_links = 0;
};

// query_file returns the Info of an open handle. It throws Rejected unless the handle is
// a disk file or directory whose three queries succeed, that is not about to be deleted,
// is not a reparse point and has a non-negative size.
Info query_file(NativeHandle handle);

}  // namespace zu::archive_fs::windows
