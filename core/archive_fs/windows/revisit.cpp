#include "archive_fs/revisit.hpp"

namespace zu::archive_fs {

// Every step already opens relative to a directory handle with one call each; there is no
// shorter way on Windows.
void revisit(std::string_view store_path, std::string_view key_path, const Admitted& admitted,
             std::uint64_t max_key_bytes, std::string& contents) {
  revisit_by_walking(store_path, key_path, admitted, max_key_bytes, contents);
}

}  // namespace zu::archive_fs
