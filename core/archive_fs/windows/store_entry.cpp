#include "archive_fs/windows/store_entry.hpp"

#include "archive_fs/require.hpp"
#include "archive_fs/windows/ownership.hpp"
#include "archive_fs/windows/query.hpp"
#include "archive_fs/windows/text.hpp"

namespace zu::archive_fs::windows {

Handle open_store_entry(const Handle& directory, std::wstring_view name, const OpenRow& row,
                        Status& status) {
  check_wide_component(name);
  Handle file = open_relative(directory.get(), name, row);
  const Info info = query_file(file.get());
  require(!info.directory && info.links == 1 && info.handle_links == 1);
  check_private_entry(file.get());
  status = query_file(file.get()).status;
  return file;
}

}  // namespace zu::archive_fs::windows
