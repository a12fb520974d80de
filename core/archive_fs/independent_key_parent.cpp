#include "archive_fs/identity.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/publication.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs {

// The key file must not live inside the store: a store directory that contained it,
// directly or further down, would let a store-level copy or removal take the key along,
// and its entries would be counted and checked as records.
void independent_key_parent(const Handle& store_directory, const Location& key_location) {
  // The store directory is the caller's and gets the full query; the key's directories
  // were opened and accepted by locate, so their identities are all that is compared.
  static_cast<void>(status(store_directory));
  require(!same_object(store_directory, key_location.parent));
  for (const Handle& ancestor : key_location.ancestors) {
    require(!same_object(store_directory, ancestor));
  }
}

}  // namespace zu::archive_fs
