// Obtaining an archive: provisioning a new store and key file, or admitting existing
// ones, and the two queries that need no lock.
#include <openssl/crypto.h>

#include <algorithm>
#include <utility>

#include "archive/descriptor_digest.hpp"
#include "archive/key_file.hpp"
#include "archive/limits.hpp"
#include "archive/mac.hpp"
#include "archive/publish_file.hpp"
#include "archive/refusal.hpp"
#include "archive/secret.hpp"
#include "archive/state.hpp"
#include "archive_fs/checked_status.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {
namespace {

// new_store returns the store directory that provision binds its key file to: a new
// private directory, or the empty private one that an interrupted or refused provision
// left under that name. An empty store holds no record, so taking it over loses nothing,
// and a provision that was cut short never needs anyone to delete what it made.
archive_fs::Handle new_store(const archive_fs::Location& store) {
  using namespace archive_fs;
  Handle existing;
  try {
    existing = open_directory(store.parent, store.name);
  } catch (const Rejected&) {
    return create_directory(store.parent, store.name);
  }
  private_directory(existing);
  // No entry at all: the capacity of one entry is full with the first one.
  check_capacity(existing, 1, 0, 0);
  return existing;
}

// publish_key_file writes a fresh key file bound as `binding` says (its own identity is
// filled in here) and gives it `name` in `directory` only once it is whole, sealed and
// flushed, so a key file under its name is never partial. The custody key is drawn here;
// it and the file's bytes live only in holders that wipe them.
void publish_key_file(const archive_fs::Handle& directory, const std::string& name,
                      const archive::Admission& binding) {
  using namespace archive_fs;
  archive::CustodyKey key{};
  archive::random_bytes(key.data(), key.size());
  archive::publish_file(directory, name, [&](const Handle& file) {
    archive::Admission admission = binding;
    admission.key_file = status(file);
    const archive::Wiped contents = archive::compose_key_file(key, admission);
    write_all(file, contents.get());
  });
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
      // nothing.
      require(!open_file(key.parent, key.name, true));
      // A crash at any point leaves either no key file, and a store directory that is
      // empty or missing, which the same call takes over or makes; or a whole key file
      // naming a store whose entry was flushed before it, which open admits.
      state->store_ = new_store(store);
      state->store_status_ = private_directory_status(state->store_);
      independent_key_parent(state->store_, key);
      sync(store.parent);
      publish_key_file(key.parent, key.name,
                       {state->owner_scope_, state->descriptor_digest_, state->store_status_, {},
                        state->limits_});
    } else {
      state->store_ = open_directory(store.parent, store.name);
      state->store_status_ = private_directory_status(state->store_);
      independent_key_parent(state->store_, key);
    }

    state->key_ = open_file(key.parent, key.name, false);
    state->key_status_ = private_file_status(state->key_, Shape::sealed);
    {
      archive::Wiped read;
      read_all_since(state->key_, archive::kKeyFileBytes, state->key_status_, read.get());
      archive::admit_key_file(read.get(),
                              {state->owner_scope_, state->descriptor_digest_,
                               state->store_status_, state->key_status_, state->limits_},
                              state->secrets_->custody_key());
      std::copy(read.get().begin(), read.get().end(), state->secrets_->key_file().begin());
    }
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
