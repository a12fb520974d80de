#include "archive/publish_file.hpp"

#include "archive/names.hpp"
#include "archive_fs/publication_steps.hpp"

namespace zu::archive {

void publish_file(const archive_fs::Handle& directory, const std::string& name,
                  const std::function<void(const archive_fs::Handle& file)>& fill) {
  archive_fs::publish_new_file(directory, new_staging_name(), name, fill);
}

}  // namespace zu::archive
