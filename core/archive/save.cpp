// save: a message list in, one sealed record file and its archive key out.
#include <mutex>
#include <string>
#include <utility>

#include "archive/codec.hpp"
#include "archive/mac.hpp"
#include "archive/names.hpp"
#include "archive/refusal.hpp"
#include "archive_fs/checked_status.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {
namespace {

// publish_new writes `record` under a fresh staging name, seals and flushes it, and
// renames it to `name`. Until the rename has succeeded every failure, memory exhaustion
// included, removes the staging file again; after it nothing is undone.
void publish_new(const archive_fs::Handle& store, const std::string& record,
                 const std::string& name) {
  using namespace archive_fs;
  const std::string staging_name = archive::new_staging_name();
  const Handle staging = create_file(store, staging_name);
  try {
    private_file(staging, false);
    write_all(staging, record);
    seal_file(staging);
    sync(staging);
    publish(store, staging, staging_name, name);
  } catch (...) {
    remove_staging(store, staging, staging_name);
    throw;
  }
  finish_publication(store, staging);
}

}  // namespace

std::variant<std::string, Error> NativeArchive::save(const std::vector<Message>& messages,
                                                     std::string_view record_scope) const {
  using namespace archive_fs;
  try {
    const State& state = *state_;
    state.verify();
    require(messages.size() <= state.limits_.max_messages);
    const std::string record = Codec::encode(state, messages, record_scope);
    const Digest record_mac = archive::mac(state.custody_key_, record);
    std::string key = archive::archive_key(record_mac);
    const std::string name = archive::hex(record_mac);

    // The mutex first, then the store lock; both are released on every path, the store
    // lock first.
    const std::lock_guard<std::mutex> writers(state.save_mutex_);
    const StoreLock lock(state.store_, state.key_);
    state.verify();
    if (const Handle existing = open_file(state.store_, name, true)) {
      // Records are content-addressed: the same bytes under the same key are already
      // saved, and anything else under that name is refused rather than replaced.
      const Status sealed = private_file_status(existing, true);
      require(read_all_since(existing, state.limits_.max_record_bytes, sealed) == record);
      sync(state.store_);
    } else {
      check_capacity(state.store_, state.limits_.max_records, state.limits_.max_store_bytes,
                     record.size());
      publish_new(state.store_, record, name);
    }
    state.verify();
    return key;
  } catch (const Rejected&) {
    return archive::refusal();
  }
}

}  // namespace zu
