#include "archive/publish_file.hpp"

#include "archive/names.hpp"
#include "archive_fs/checked_status.hpp"
#include "archive_fs/publication_steps.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive {

void publish_file(const archive_fs::Handle& directory, const std::string& name,
                  const std::function<void(const archive_fs::Handle& file)>& fill) {
  using namespace archive_fs;
  const std::string staging_name = new_staging_name();
  const Handle staging = create_file(directory, staging_name);
  try {
    private_file(staging, Shape::writable);
    fill(staging);
    seal_file(staging);
    sync(staging);
    publish(directory, staging, staging_name, name);
  } catch (...) {
    remove_staging(directory, staging, staging_name);
    throw;
  }
  finish_synced_publication(directory, staging);
}

}  // namespace zu::archive
