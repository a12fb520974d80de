// Obtaining an archive: provisioning a new store and key file, or admitting existing
// ones, and the two queries that need no lock.
#include <openssl/crypto.h>

#include <utility>

#include "archive/descriptor_digest.hpp"
#include "archive/key_file.hpp"
#include "archive/limits.hpp"
#include "archive/mac.hpp"
#include "archive/refusal.hpp"
#include "archive/secret.hpp"
#include "archive_fs/checked_status.hpp"
#include "archive_fs/discard.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {
namespace {

// create_key_file writes a fresh key file under `name` in `directory`, bound as
// `binding` says (its own identity is filled in here), and seals and flushes it; `made`
// turns true once the file exists. The custody key is drawn here and wiped with every
// buffer that held it.
void create_key_file(const archive_fs::Handle& directory, const std::string& name,
                     const archive::Admission& binding, bool& made) {
  using namespace archive_fs;
  archive::CustodyKey key{};
  try {
    archive::random_bytes(key.data(), key.size());
    const Handle file = create_file(directory, name);
    made = true;
    private_file(file, false);
    archive::Admission admission = binding;
    admission.key_file = status(file);
    {
      const archive::Wiped contents(archive::compose_key_file(key, admission));
      write_all(file, contents.get());
    }
    seal_file(file);
    sync(file);
  } catch (...) {
    OPENSSL_cleanse(key.data(), key.size());
    throw;
  }
  OPENSSL_cleanse(key.data(), key.size());
}

}  // namespace

NativeArchive::NativeArchive(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}

NativeArchive::~NativeArchive() = default;

std::variant<std::shared_ptr<NativeArchive>, Error> NativeArchive::provision(
    std::string store_path, std::string key_path, std::string owner_scope,
    descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits) {
  return activate(std::move(store_path), std::move(key_path), std::move(owner_scope),
                  std::move(descriptor), limits, true);
}

std::variant<std::shared_ptr<NativeArchive>, Error> NativeArchive::open(
    std::string store_path, std::string key_path, std::string owner_scope,
    descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits) {
  return activate(std::move(store_path), std::move(key_path), std::move(owner_scope),
                  std::move(descriptor), limits, false);
}

std::variant<std::shared_ptr<NativeArchive>, Error> NativeArchive::activate(
    std::string store_path, std::string key_path, std::string owner_scope,
    descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits, bool create) {
  using namespace archive_fs;
  try {
    require(descriptor.policy() != nullptr);
    const NativeArchiveLimits effective =
        archive::effective_limits(limits, descriptor.policy()->resources());
    require(!owner_scope.empty());
    // The state owns every secret from here on, so each refusal below wipes them.
    auto state = std::make_unique<State>(std::move(store_path), std::move(key_path),
                                         std::move(owner_scope), std::move(descriptor),
                                         effective);

    // An admission statement that cannot fit is refused before anything is created.
    static_cast<void>(archive::admission_statement(
        {state->owner_scope_, state->descriptor_digest_, {}, {}, state->limits_}));

    const Location store = locate(state->store_path_);
    const Location key = locate(state->key_path_);
    private_directory(key.parent);
    if (create) {
      // Checked before the store directory exists, so that an occupied key name costs
      // nothing to undo.
      require(!open_file(key.parent, key.name, true));
      state->store_ = create_directory(store.parent, store.name);
      bool key_made = false;
      try {
        state->store_status_ = private_directory_status(state->store_);
        independent_key_parent(state->store_, key);
        create_key_file(key.parent, key.name,
                        {state->owner_scope_, state->descriptor_digest_, state->store_status_,
                         {}, state->limits_},
                        key_made);
      } catch (...) {
        // Before the key file exists, an empty store directory is all this call made;
        // removing it lets the same call be retried. Once the key file exists, both stay.
        if (!key_made) discard_directory(store.parent, std::move(state->store_), store.name);
        throw;
      }
      sync(key.parent);
      sync(store.parent);
    } else {
      state->store_ = open_directory(store.parent, store.name);
      state->store_status_ = private_directory_status(state->store_);
      independent_key_parent(state->store_, key);
    }

    state->key_ = open_file(key.parent, key.name, false);
    state->key_status_ = private_file_status(state->key_, true);
    state->key_file_ = read_all_since(state->key_, archive::kKeyFileBytes, state->key_status_);
    archive::admit_key_file(state->key_file_,
                            {state->owner_scope_, state->descriptor_digest_,
                             state->store_status_, state->key_status_, state->limits_},
                            state->custody_key_);
    state->verify();
    return std::shared_ptr<NativeArchive>(new NativeArchive(std::move(state)));
  } catch (const Rejected&) {
    return archive::refusal();
  }
}

std::string_view NativeArchive::owner_scope() const noexcept { return state_->owner_scope_; }

bool NativeArchive::matches_descriptor(const descriptor::ValidatedDescriptor& descriptor) const
    noexcept {
  if (descriptor.policy() == nullptr) return false;
  try {
    state_->verify();
    const std::string digest = archive::descriptor_digest(descriptor, state_->limits_);
    const std::string& own = state_->descriptor_digest_;
    return digest.size() == own.size() &&
           CRYPTO_memcmp(digest.data(), own.data(), own.size()) == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace zu
