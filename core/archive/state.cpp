// The archive's state and its re-verification, which precedes every use of the store.
#include <openssl/crypto.h>

#include <utility>

#include "archive/descriptor_digest.hpp"
#include "archive/key_file.hpp"
#include "archive/secret.hpp"
#include "archive/state.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/revisit.hpp"
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

void NativeArchive::State::verify() const {
  archive::Wiped contents;
  archive_fs::revisit(store_path_, key_path_, {store_, store_status_, key_, key_status_, &admitted_lists_},
                      archive::kKeyFileBytes, contents.get());
  const archive::KeyMaterial::KeyFile& admitted = secrets_->key_file();
  archive_fs::require(contents.get().size() == admitted.size() &&
                      CRYPTO_memcmp(contents.get().data(), admitted.data(), admitted.size()) == 0);
}

}  // namespace zu
