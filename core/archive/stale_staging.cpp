// remove_stale_staging: the one repair the archive makes, for staging files left by
// writers that were killed between creating and publishing a record.
#include <mutex>

#include "archive/names.hpp"
#include "archive/refusal.hpp"
#include "archive/state.hpp"
#include "archive_fs/sweep.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {

std::variant<std::uint64_t, Error> NativeArchive::remove_stale_staging() const {
  using namespace archive_fs;
  try {
    const State& state = *state_;
    // Every writer holds the store lock from before it creates a staging file until it
    // has published or removed it, so under the lock every staging file is stale.
    const std::lock_guard<std::mutex> writers(state.save_mutex_);
    const StoreLock lock(state.store_, state.key_);
    state.verify();
    return remove_entries(state.store_, archive::is_staging_name);
  } catch (const Rejected&) {
    return archive::refusal();
  }
}

}  // namespace zu
