#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/publication.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs {

// The key file must not live inside the store: a store directory that contained it,
// directly or further down, would let a store-level copy or removal take the key along,
// and its entries would be counted and checked as records.
void independent_key_parent(const Handle& store_directory, const Location& key_location) {
  const Status store = status(store_directory);
  require(!same_file(store, status(key_location.parent)));
  for (const Handle& ancestor : key_location.ancestors) {
    require(!same_file(store, status(ancestor)));
  }
}

}  // namespace zu::archive_fs
