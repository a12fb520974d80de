#include "archive_fs/windows/disposition.hpp"

#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs::windows {

bool mark_for_deletion(NativeHandle handle) noexcept {
  try {
    // FILE_DISPOSITION_INFORMATION is one BOOLEAN: delete the object when it closes.
    BOOLEAN delete_file = TRUE;
    IO_STATUS_BLOCK io{};
    return nt_calls().set_information_file(handle, &io, &delete_file, sizeof(delete_file),
                                           kFileDispositionInformation) == kStatusSuccess;
  } catch (...) {
    // Only the look-up of the entry point can throw; without it nothing can be marked.
    return false;
  }
}

}  // namespace zu::archive_fs::windows
