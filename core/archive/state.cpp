// The archive's state and its re-verification, which precedes every use of the store.
#include <openssl/crypto.h>

#include <utility>

#include "archive/descriptor_digest.hpp"
#include "archive/key_file.hpp"
#include "archive/secret.hpp"
#include "archive_fs/checked_status.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {

NativeArchive::State::State(std::string store_path, std::string key_path,
                            std::string owner_scope, descriptor::ValidatedDescriptor descriptor,
                            NativeArchiveLimits limits)
    : store_path_(std::move(store_path)),
      key_path_(std::move(key_path)),
      owner_scope_(std::move(owner_scope)),
      descriptor_digest_(archive::descriptor_digest(descriptor, limits)),
      descriptor_(std::move(descriptor)),
      limits_(limits),
      secrets_(std::make_unique<archive::KeyMaterial>()) {}

// The key material wipes itself as it goes.
NativeArchive::State::~State() = default;

void NativeArchive::State::verify() const {
  using namespace archive_fs;
  {
    const Location store = locate(store_path_);
    const Handle directory = open_directory(store.parent, store.name);
    require(same_file(private_directory_status(directory), store_status_));
  }
  const Location key = locate(key_path_);
  private_directory(key.parent);
  independent_key_parent(store_, key);
  const Handle file = open_file(key.parent, key.name, false);
  const Status now = private_file_status(file, true);
  require(unchanged(now, key_status_));
  const archive::Wiped contents(read_all_since(file, archive::kKeyFileBytes, now));
  const archive::KeyMaterial::KeyFile& admitted = secrets_->key_file();
  require(contents.get().size() == admitted.size() &&
          CRYPTO_memcmp(contents.get().data(), admitted.data(), admitted.size()) == 0);
}

}  // namespace zu
