// Opening one name relative to an open directory with NtCreateFile, with the fixed
// parameters of each kind of open this backend makes.
#pragma once

#include <string_view>

#include "archive_fs/choices.hpp"
#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

// OpenRow holds the parameters of one kind of open; kind says which kind of object the
// open must yield.
struct OpenRow {
  ACCESS_MASK access = 0;
  ULONG attributes = 0;
  ULONG share = 0;
  ULONG disposition = 0;
  ULONG options = 0;
  Kind kind = Kind::file;
};

// A directory kept open as a parent (locate, open_directory).
inline constexpr OpenRow kOpenDirectoryRow{kDirectoryAccess, kDirectoryAttribute,
                                           kShareReadWrite, kDispositionOpen,
                                           kDirectoryOpenOptions, Kind::directory};
// A new private directory (create_directory).
inline constexpr OpenRow kCreateDirectoryRow{kDirectoryAccess, kDirectoryAttribute,
                                             kShareReadWrite, kDispositionCreate,
                                             kDirectoryCreateOptions, Kind::directory};
// A regular file opened for reading (open_file, entry_status, the capacity scan).
inline constexpr OpenRow kOpenFileRow{kFileReadAccess, kNormalAttribute, kShareRead,
                                      kDispositionOpen, kFileOpenOptions, Kind::file};
// A new private file (create_file).
inline constexpr OpenRow kCreateFileRow{kFileCreateAccess, kNormalAttribute, kShareRead,
                                        kDispositionCreate, kFileCreateOptions, Kind::file};
// A store entry opened as kOpenFileRow does, plus the right to remove it.
inline constexpr OpenRow kRemoveFileRow{kFileRemoveAccess, kNormalAttribute, kShareRead,
                                        kDispositionOpen, kFileOpenOptions, Kind::file};
// A directory opened again by its name only to be removed.
inline constexpr OpenRow kRemoveDirectoryRow{kDirectoryRemoveAccess, kDirectoryAttribute,
                                             kShareReadWrite, kDispositionOpen,
                                             kDirectoryOpenOptions, Kind::directory};

// nt_open makes one NtCreateFile call for name relative to parent (an absolute NT path
// when parent is null) with row's parameters and descriptor as the new object's security
// (null for opens of existing objects), and returns the handle. With Missing::allowed, a
// name that does not exist yields an empty Handle. It throws Rejected for a name longer than
// one open can carry and for any other failure. The object's kind is not checked.
Handle nt_open(NativeHandle parent, std::wstring_view name, const OpenRow& row,
               PSECURITY_DESCRIPTOR descriptor, Missing missing);

// require_kind throws Rejected unless handle is an object of kind (a directory, or not
// one) and not a reparse point, as FileAttributeTagInfo reports it.
void require_kind(const Handle& handle, Kind kind);

// open_relative opens an existing object: nt_open without a descriptor, then
// require_kind with the row's kind; a handle of the wrong kind is closed before the
// throw.
Handle open_relative(NativeHandle parent, std::wstring_view name, const OpenRow& row,
                     Missing missing = Missing::refused);

}  // namespace zu::archive_fs::windows
