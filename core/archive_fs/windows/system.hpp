// The Windows declarations this backend shares: the system headers in the one order that
// works, the NT entry points looked up in ntdll, and a named constant for every access
// mask, share mode, disposition, option and information class the backend passes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which they build on.
#include <aclapi.h>
#include <winternl.h>

#include <cstdint>

namespace zu::archive_fs::windows {

// --- NTSTATUS results -------------------------------------------------------------------

inline constexpr NTSTATUS kStatusSuccess = 0;
// STATUS_OBJECT_NAME_NOT_FOUND: the directory holds no entry of that name.
inline constexpr NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);

// --- Object attributes of every open ----------------------------------------------------

// OBJ_CASE_INSENSITIVE matches names as the Win32 layer does; OBJ_DONT_REPARSE refuses
// any reparse point (junction, symbolic link, mount point) met while the name is parsed.
inline constexpr ULONG kObjectCaseInsensitive = 0x40;
inline constexpr ULONG kObjectDontReparse = 0x1000;
inline constexpr ULONG kObjectAttributes = kObjectCaseInsensitive | kObjectDontReparse;
static_assert(kObjectAttributes == 0x1040);

// --- Access masks ------------------------------------------------------------------------

// A directory kept open as a parent: enough to open names relative to it, query it and
// read its security, and nothing that lets this handle change it.
inline constexpr ACCESS_MASK kDirectoryAccess =
    FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
static_assert(kDirectoryAccess == 0x1200A0);

// A file opened for reading (FILE_GENERIC_READ).
inline constexpr ACCESS_MASK kFileReadAccess = FILE_GENERIC_READ;
static_assert(kFileReadAccess == 0x120089);

// A file being created: the rights every later step on the same handle needs (write for
// write_all and sync, WRITE_DAC for seal_file, DELETE for publish and remove_staging).
inline constexpr ACCESS_MASK kFileCreateAccess =
    FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_EA | FILE_WRITE_EA |
    FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE | READ_CONTROL | WRITE_DAC |
    SYNCHRONIZE;
static_assert(kFileCreateAccess == 0x17019F);

// A directory reopened to list its entries: FILE_GENERIC_READ plus FILE_TRAVERSE.
inline constexpr ACCESS_MASK kListingAccess = FILE_GENERIC_READ | FILE_TRAVERSE;
static_assert(kListingAccess == 0x1200A9);

// A directory reopened to be flushed: the generic read, write and execute rights of a
// file, since a flush needs write access.
inline constexpr ACCESS_MASK kFlushAccess =
    FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE;
static_assert(kFlushAccess == 0x1201BF);

// A store entry opened to be removed: read as every entry is, plus DELETE, which the
// private store directory grants through its child-delete right even to a sealed file.
inline constexpr ACCESS_MASK kFileRemoveAccess = FILE_GENERIC_READ | DELETE;

// A directory opened again only to be removed.
inline constexpr ACCESS_MASK kDirectoryRemoveAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// The two masks of the private shape: full control for directories and files being
// written, read-only for sealed files.
inline constexpr ACCESS_MASK kWritableMask = FILE_ALL_ACCESS;
static_assert(kWritableMask == 0x1F01FF);
inline constexpr ACCESS_MASK kSealedMask = FILE_GENERIC_READ;

// --- Share modes, dispositions, attributes, options --------------------------------------

// No open shares delete access, so nobody can rename or delete an entry while it is held.
inline constexpr ULONG kShareRead = FILE_SHARE_READ;
inline constexpr ULONG kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
static_assert(kShareRead == 1 && kShareReadWrite == 3);

inline constexpr ULONG kDispositionOpen = 1;    // FILE_OPEN: the entry must exist
inline constexpr ULONG kDispositionCreate = 2;  // FILE_CREATE: the entry must not exist

inline constexpr ULONG kDirectoryAttribute = FILE_ATTRIBUTE_DIRECTORY;
inline constexpr ULONG kNormalAttribute = FILE_ATTRIBUTE_NORMAL;
static_assert(kDirectoryAttribute == 0x10 && kNormalAttribute == 0x80);

inline constexpr ULONG kOptionDirectoryFile = 0x1;          // FILE_DIRECTORY_FILE
inline constexpr ULONG kOptionWriteThrough = 0x2;           // FILE_WRITE_THROUGH
inline constexpr ULONG kOptionSynchronousIo = 0x20;         // FILE_SYNCHRONOUS_IO_NONALERT
inline constexpr ULONG kOptionNonDirectoryFile = 0x40;      // FILE_NON_DIRECTORY_FILE
inline constexpr ULONG kOptionOpenReparsePoint = 0x200000;  // FILE_OPEN_REPARSE_POINT

inline constexpr ULONG kDirectoryOpenOptions =
    kOptionDirectoryFile | kOptionSynchronousIo | kOptionOpenReparsePoint;
inline constexpr ULONG kDirectoryCreateOptions = kDirectoryOpenOptions | kOptionWriteThrough;
inline constexpr ULONG kFileOpenOptions =
    kOptionNonDirectoryFile | kOptionSynchronousIo | kOptionOpenReparsePoint;
inline constexpr ULONG kFileCreateOptions = kFileOpenOptions | kOptionWriteThrough;
static_assert(kDirectoryOpenOptions == 0x200021 && kDirectoryCreateOptions == 0x200023);
static_assert(kFileOpenOptions == 0x200060 && kFileCreateOptions == 0x200062);

// Flags of OpenFileById and ReOpenFile: write-through, backup semantics (which a
// directory needs) and the reparse point itself rather than its target.
inline constexpr DWORD kReopenFlags =
    FILE_FLAG_WRITE_THROUGH | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
static_assert(kReopenFlags == 0x82200000);

// --- Information classes and other fixed values -------------------------------------------

inline constexpr ULONG kFileRenameInformation = 10;
inline constexpr ULONG kFileDispositionInformation = 13;

// SetSecurityInfo of seal_file: a new access list, protected from inheritance.
inline constexpr SECURITY_INFORMATION kSealInformation =
    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
static_assert(kSealInformation == 0x80000004);

// The longest name one open can carry (a UNICODE_STRING counts bytes in 16 bits).
inline constexpr std::size_t kMaxNameUnits = 32'767;

// The most one ReadFile or WriteFile call can move.
inline constexpr std::uint64_t kMaxTransfer = 4'294'967'295;

// --- NT entry points --------------------------------------------------------------------

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE handle, ACCESS_MASK access,
                                          POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io,
                                          PLARGE_INTEGER allocation, ULONG file_attributes,
                                          ULONG share, ULONG disposition, ULONG options,
                                          PVOID extended_attributes, ULONG extended_length);
using NtSetInformationFileCall = NTSTATUS(NTAPI*)(HANDLE handle, PIO_STATUS_BLOCK io,
                                                  PVOID information, ULONG length,
                                                  ULONG information_class);
using NtFlushBuffersFileCall = NTSTATUS(NTAPI*)(HANDLE handle, PIO_STATUS_BLOCK io);

// NtCalls holds the three ntdll entry points this backend calls. (all nonnull)
struct NtCalls {
  NtCreateFileCall create_file = nullptr;
  NtSetInformationFileCall set_information_file = nullptr;
  NtFlushBuffersFileCall flush_buffers_file = nullptr;
};

// nt_calls returns the entry points, looked up once per process in the already loaded
// ntdll. It throws Rejected when the module or an entry point is missing, and then looks
// again on the next call.
const NtCalls& nt_calls();

}  // namespace zu::archive_fs::windows
