#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive_fs/publication_steps.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/disposition.hpp"
#include "archive_fs/windows/query.hpp"
#include "archive_fs/windows/reopen.hpp"
#include "archive_fs/windows/system.hpp"
#include "archive_fs/windows/text.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {
namespace {

// RenameInformation is the head of FILE_RENAME_INFORMATION as the system lays it out;
// the name follows in place of file_name.
struct RenameInformation {
  BOOLEAN replace_if_exists;
  HANDLE root_directory;
  ULONG file_name_length;
  WCHAR file_name[1];
};
static_assert(offsetof(RenameInformation, root_directory) == 8);
static_assert(offsetof(RenameInformation, file_name_length) == 16);
static_assert(offsetof(RenameInformation, file_name) == 20);
static_assert(sizeof(RenameInformation) == 24);

// The largest buffer NtSetInformationFile takes is counted in 32 bits.
constexpr std::uint64_t kMaxInformationBytes = 4'294'967'294;

void flush(NativeHandle handle) {
  IO_STATUS_BLOCK io{};
  require(windows::nt_calls().flush_buffers_file(handle, &io) == windows::kStatusSuccess);
}

}  // namespace

void sync(const Handle& handle) {
  if (windows::query_file(handle.get()).directory) {
    // A flush needs write access, which no directory handle of this namespace has.
    const Handle writable = windows::reopen_by_id(handle, windows::kFlushAccess);
    flush(writable.get());
  } else {
    flush(handle.get());
  }
}

void publish(const Handle& directory, const Handle& file, const std::string& staging_name,
             const std::string& final_name) {
  // The rename works on the open file itself, wherever it sits; its current name plays
  // no part.
  static_cast<void>(staging_name);
  const std::wstring name = windows::checked_wide_name(final_name);
  const std::uint64_t name_bytes = name.size() * sizeof(wchar_t);
  const std::uint64_t size = sizeof(RenameInformation) + name_bytes;
  require(size <= kMaxInformationBytes);

  // Eight-byte units keep the buffer aligned for the handle inside it.
  std::vector<std::uint64_t> buffer((static_cast<std::size_t>(size) + 7) / 8, 0);
  auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
  // Never replace: an existing final name makes the rename fail, and the file stays.
  const BOOLEAN replace = FALSE;
  const HANDLE root = directory.get();
  const auto length = static_cast<ULONG>(name_bytes);
  std::memcpy(bytes + offsetof(RenameInformation, replace_if_exists), &replace, sizeof(replace));
  std::memcpy(bytes + offsetof(RenameInformation, root_directory), &root, sizeof(root));
  std::memcpy(bytes + offsetof(RenameInformation, file_name_length), &length, sizeof(length));
  std::memcpy(bytes + offsetof(RenameInformation, file_name), name.data(), name_bytes);

  IO_STATUS_BLOCK io{};
  require(windows::nt_calls().set_information_file(file.get(), &io, bytes,
                                                   static_cast<ULONG>(size),
                                                   windows::kFileRenameInformation) ==
          windows::kStatusSuccess);
}

void finish_publication(const Handle& directory, const Handle& file) {
  sync(file);
  sync(directory);
}

void publish_new_file(const Handle& directory, const std::string& staging_name,
                      const std::string& final_name,
                      const std::function<void(const Handle& file)>& fill) {
  const Handle staging = create_file(directory, staging_name);
  try {
    private_file(staging, false);
    fill(staging);
    seal_file(staging);
    sync(staging);
    publish(directory, staging, staging_name, final_name);
  } catch (...) {
    remove_staging(directory, staging, staging_name);
    throw;
  }
  // The rename rewrote the file's own record, which holds its name, so the file is
  // flushed again after it.
  finish_publication(directory, staging);
}

void remove_staging(const Handle& directory, const Handle& file,
                    const std::string& staging_name) noexcept {
  // The disposition goes to the open file itself, so neither the directory nor the name
  // is needed; the file disappears when its last handle closes.
  static_cast<void>(directory);
  static_cast<void>(staging_name);
  windows::mark_for_deletion(file.get());
}

}  // namespace zu::archive_fs
