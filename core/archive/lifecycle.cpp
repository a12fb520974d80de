// Obtaining an archive: provisioning a new store and key file, or admitting existing
// ones, and the two queries that need no lock.
#include <openssl/crypto.h>

#include <algorithm>
#include <memory>
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

// new_state checks what needs no file (a policy, limits in range, an owner scope, an
// admission statement that fits) and returns the state that owns every secret from
// here on, so that each refusal after it wipes them.
std::unique_ptr<NativeArchive::State> new_state(std::string store_path, std::string key_path,
                                                std::string owner_scope,
                                                descriptor::ValidatedDescriptor descriptor,
                                                NativeArchiveLimits limits) {
  using archive_fs::require;
  require(descriptor.policy() != nullptr);
  const NativeArchiveLimits effective =
      archive::effective_limits(limits, descriptor.policy()->resources());
  require(!owner_scope.empty());
  auto state = std::make_unique<NativeArchive::State>(std::move(store_path), std::move(key_path),
                                                      std::move(owner_scope),
                                                      std::move(descriptor), effective);
  // An admission statement that cannot fit is refused before anything is created.
  static_cast<void>(archive::admission_statement(
      {state->owner_scope_, state->descriptor_digest_, {}, {}, state->limits_}));
  return state;
}

// Places are the store's and the key file's locations, the key's directory checked
// private.
struct Places {
  archive_fs::Location store;
  archive_fs::Location key;
};

Places locate_places(const NativeArchive::State& state) {
  Places places{archive_fs::locate(state.store_path_), archive_fs::locate(state.key_path_)};
  archive_fs::private_directory(places.key.parent);
  return places;
}

// make_store_and_key_file makes the store directory (or takes over an empty one) and
// publishes a key file bound to it. A crash at any point leaves either no key file, and
// a store directory that is empty or missing, which the same call takes over or makes;
// or a whole key file naming a store whose entry was flushed before it, which open
// admits.
void make_store_and_key_file(NativeArchive::State& state, const Places& places) {
  using namespace archive_fs;
  // Checked before the store directory exists, so that an occupied key name costs
  // nothing.
  require(!open_file(places.key.parent, places.key.name, Missing::allowed));
  state.store_ = new_store(places.store);
  state.store_status_ = private_directory_status(state.store_);
  independent_key_parent(state.store_, places.key);
  sync(places.store.parent);
  publish_key_file(places.key.parent, places.key.name,
                   {state.owner_scope_, state.descriptor_digest_, state.store_status_, {},
                    state.limits_});
}

// open_store opens the existing store directory, private and apart from the key's
// directory.
void open_store(NativeArchive::State& state, const Places& places) {
  using namespace archive_fs;
  state.store_ = open_directory(places.store.parent, places.store.name);
  state.store_status_ = private_directory_status(state.store_);
  independent_key_parent(state.store_, places.key);
}

// admit_key opens the key file read-only, checks that it is sealed and bound to the
// store and the state, and takes its custody key and contents into the state's key
// material; then the whole archive is verified by its paths once, as before every use.
void admit_key(NativeArchive::State& state, const archive_fs::Location& key) {
  using namespace archive_fs;
  state.key_ = open_file(key.parent, key.name, Missing::refused);
  state.key_status_ = private_file_status(state.key_, Shape::sealed);
  archive::Wiped read;
  read_all_since(state.key_, archive::kKeyFileBytes, state.key_status_, read.get());
  archive::admit_key_file(read.get(),
                          {state.owner_scope_, state.descriptor_digest_, state.store_status_,
                           state.key_status_, state.limits_},
                          state.secrets_->custody_key());
  std::copy(read.get().begin(), read.get().end(), state.secrets_->key_file().begin());
  state.verify();
}

}  // namespace

NativeArchive::NativeArchive(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}

NativeArchive::~NativeArchive() = default;

std::variant<std::shared_ptr<NativeArchive>, Error> NativeArchive::provision(
    std::string store_path, std::string key_path, std::string owner_scope,
    descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits) {
  try {
    auto state = new_state(std::move(store_path), std::move(key_path), std::move(owner_scope),
                           std::move(descriptor), limits);
    const Places places = locate_places(*state);
    make_store_and_key_file(*state, places);
    admit_key(*state, places.key);
    return std::shared_ptr<NativeArchive>(new NativeArchive(std::move(state)));
  } catch (const archive_fs::Rejected&) {
    return archive::refusal();
  }
}

std::variant<std::shared_ptr<NativeArchive>, Error> NativeArchive::open(
    std::string store_path, std::string key_path, std::string owner_scope,
    descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits) {
  try {
    auto state = new_state(std::move(store_path), std::move(key_path), std::move(owner_scope),
                           std::move(descriptor), limits);
    const Places places = locate_places(*state);
    open_store(*state, places);
    admit_key(*state, places.key);
    return std::shared_ptr<NativeArchive>(new NativeArchive(std::move(state)));
  } catch (const archive_fs::Rejected&) {
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
