// save: a message list in, one sealed record file and its archive key out.
#include <mutex>
#include <string>
#include <utility>

#include "archive/codec.hpp"
#include "archive/mac.hpp"
#include "archive/names.hpp"
#include "archive/publish_file.hpp"
#include "archive/refusal.hpp"
#include "archive/secret.hpp"
#include "archive/state.hpp"
#include "archive_fs/checked_status.hpp"
#include "archive_fs/list_memory.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {

std::variant<std::string, Error> NativeArchive::save(const std::vector<Message>& messages,
                                                     std::string_view record_scope) const {
  using namespace archive_fs;
  try {
    const State& state = *state_;
    state.verify();
    require(messages.size() <= state.limits_.max_messages);
    const std::string record = Codec::encode(state, messages, record_scope);
    const Digest record_mac = archive::mac(state.secrets_->custody_key(), record);
    std::string key = archive::archive_key(record_mac);
    const std::string name = archive::hex(record_mac);

    // The mutex first, then the store lock; both are released on every path, the store
    // lock first.
    const std::lock_guard<std::mutex> writers(state.save_mutex_);
    const StoreLock lock(state.store_, state.key_);
    state.verify();
    if (const Handle existing = open_file(state.store_, name, Missing::allowed)) {
      // Records are content-addressed: the same bytes under the same key are already
      // saved, and anything else under that name is refused rather than replaced.
      const Status sealed = private_file_status(existing, Shape::sealed);
      require(read_all_since(existing, state.limits_.max_record_bytes, sealed) == record);
      sync(state.store_);
    } else {
      check_capacity(state.store_, state.limits_.max_records, state.limits_.max_store_bytes,
                     record.size(), state.scan_memory_);
      archive::publish_file(state.store_, name,
                            [&](const Handle& file) { write_all(file, record); });
    }
    state.verify();
    return key;
  } catch (const Rejected&) {
    return archive::refusal();
  }
}

}  // namespace zu
