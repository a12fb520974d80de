#include "archive_fs/checked_status.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/revisit.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"
#include "zu/archive_fs/publication.hpp"

namespace zu::archive_fs {

void revisit_by_walking(std::string_view store_path, std::string_view key_path,
                        const Admitted& admitted, std::uint64_t max_key_bytes,
                        std::string& contents) {
  {
    const Location store = locate(store_path);
    const Handle directory = open_directory(store.parent, store.name);
    require(same_file(private_directory_status(directory), admitted.store_status));
  }
  const Location key = locate(key_path);
  private_directory(key.parent);
  independent_key_parent(admitted.store, key);
  const Handle file = open_file(key.parent, key.name, Missing::refused);
  const Status now = private_file_status(file, Shape::sealed);
  require(unchanged(now, admitted.key_status));
  read_all_since(file, max_key_bytes, now, contents);
}

}  // namespace zu::archive_fs
