// The archive's re-verification in one mount's worth of calls.
//
// The walk that locate makes opens every directory of both paths, one component at a
// time, and checks each mount it enters; the archive's checks then query the store
// directory, the key's directory, each directory above it and the key file again. Below
// the deepest directory the two paths share, they usually lie on one mount; there one
// openat2 with RESOLVE_NO_SYMLINKS, RESOLVE_NO_MAGICLINKS and RESOLVE_NO_XDEV per path
// proves what the walk proves of all the directories it passes: no symbolic link
// anywhere, and no mount entered, so nothing but that mount's file system was asked
// anything. RESOLVE_CACHED keeps even that to the kernel's caches (and so away from any
// automount point). The shared directory itself is reached the same way when it lies on
// the root's mount, and walked to otherwise. The store and the key file are then
// compared by identity with the objects the archive holds open since admission, which no
// other object can share while they stay open; their shape, lists and contents are read
// through those held descriptors, which reach the very objects the paths lead to.
// Whenever any of this does not hold, or a check fails, the walk decides, exactly as
// before.
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive_fs/posix/checked_open.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/path.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/revisit.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/revisit.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {
namespace {

// Split is how a store path and a key path share their beginning: the deepest directory
// above both (common), the rest of the store path below it (store, at least one
// component), the rest of the key's directory below it (key_directory, empty when that
// is common itself), and the key file's name.
struct Split {
  std::string common;
  std::string store;
  std::string key_directory;
  std::string key_name;
};

std::string joined(const std::vector<std::string_view>& components, std::size_t from,
                   std::size_t to, std::string lead) {
  for (std::size_t i = from; i < to; ++i) {
    if (i > from || lead.size() > 1) lead.push_back('/');
    lead.append(components[i]);
  }
  return lead;
}

// split_paths returns the Split of two absolute paths, or nothing for a relative path
// (resolved from the working directory, which only the walk checks) and for a key whose
// directory lies at or below the store path, which the walk refuses.
//
// Why the store then is neither the key's directory nor above it: both are reached from
// `common` by names, never "." or "..", on one mount, without a link. Below `common` the
// store path and the key's directory part at different names (or the key's directory is
// `common`), and a directory has one name in one parent: two different entries of one
// directory are two different directories, with no directory in common below them, and
// nothing reached downwards from `common` is `common` or above it.
std::optional<Split> split_paths(std::string_view store_path, std::string_view key_path) {
  if (store_path.empty() || key_path.empty() || store_path.front() != '/' ||
      key_path.front() != '/') {
    return std::nullopt;
  }
  const std::vector<std::string_view> store = posix::components_of(store_path);
  const std::vector<std::string_view> key = posix::components_of(key_path);
  const std::size_t key_depth = key.size() - 1;
  std::size_t common = 0;
  while (common + 1 < store.size() && common < key_depth && store[common] == key[common]) {
    ++common;
  }
  if (common < key_depth && store[common] == key[common]) return std::nullopt;
  return Split{joined(store, 0, common, "/"), joined(store, common, store.size(), ""),
               joined(key, common, key_depth, ""), std::string(key.back())};
}

// open_below opens path below directory on directory's mount, as `flags` say, or throws.
Handle open_below(int directory, const std::string& path, int flags) {
  const open_how how = posix::how_to(flags, posix::kSameMount | RESOLVE_CACHED);
  Handle opened(posix::retry([&] { return posix::openat2(directory, path.c_str(), how); }));
  require(static_cast<bool>(opened));
  return opened;
}

constexpr int kPathOnlyDirectory = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Access is what a directory is opened for: naming what lies below it, or reading it too.
enum class Access { path_only, read };

// common_directory opens the directory above both paths: path-only, or for reading where
// it is the key's directory, whose access lists are read. One openat2 reaches it when it
// lies on the root's mount; otherwise (a store under /home on a file system of its own,
// say) locate walks to it, accepting each mount it enters, as the walk of both paths
// would, so that below it the two paths still take one call each.
Handle common_directory(const std::string& path, Access access) {
  const open_how how = posix::how_to(access == Access::read ? posix::kDirectoryOpen
                                                            : kPathOnlyDirectory,
                                     posix::kSameMount | RESOLVE_CACHED);
  Handle common(posix::retry([&] { return posix::openat2(AT_FDCWD, path.c_str(), how); }));
  if (common) return common;
  if (path == "/") return posix::open_root().handle;
  const Location location = locate(path);
  return open_directory(location.parent, location.name);
}

// revisit_on_one_mount is revisit for two paths split as `split` says, which below their
// common directory lie on the admitted store's mount. Throws Rejected whenever it cannot
// prove all that the walk would.
void revisit_on_one_mount(const Split& split, const Admitted& admitted,
                          std::uint64_t max_key_bytes, std::string& contents) {
  const uid_t user = ::geteuid();
  // Read before any access list is, as the memory of lists requires.
  const std::int64_t now = posix::real_time_now();
  const posix::Look store = posix::look(admitted.store.get());
  require(store.mount != 0);
  const bool key_in_common = split.key_directory.empty();
  const Handle common =
      common_directory(split.common, key_in_common ? Access::read : Access::path_only);

  // The store path leads to the admitted store directory, on the mount everything here
  // lies on, which is therefore the admitted store's (accepted) file system.
  std::optional<posix::Look> named_store;
  if (split.store.find('/') == std::string::npos) {
    named_store = posix::look_entry(common, split.store, store.mount);
  } else {
    named_store = posix::look(open_below(common.get(), split.store, O_PATH | O_CLOEXEC).get());
  }
  require(named_store && named_store->mount == store.mount &&
          named_store->identity == store.identity);
  require(store.directory);
  posix::require_shape(store, posix::kDirectoryMode, user);
  posix::require_no_lists(admitted.lists, admitted.store.get(), store, now);

  // The key's directory: private, on the same mount, and not the store.
  const Handle below = key_in_common ? Handle()
                                     : open_below(common.get(), split.key_directory,
                                                  posix::kDirectoryOpen);
  const Handle& key_directory = key_in_common ? common : below;
  const posix::Look directory = posix::look(key_directory.get());
  require(directory.mount == store.mount && directory.identity != store.identity);
  require(directory.directory);
  posix::require_shape(directory, posix::kDirectoryMode, user);
  posix::require_no_lists(admitted.lists, key_directory.get(), directory, now);

  // The key file: sealed, one link, size and times as admitted; then read through the
  // held descriptor and looked at again, which must show the object named, unchanged.
  const std::optional<posix::Look> named_key =
      posix::look_entry(key_directory, split.key_name, store.mount);
  require(named_key && !named_key->directory && named_key->links == 1);
  posix::require_shape(*named_key, posix::kSealedMode, user);
  require(named_key->size == admitted.key_status.size &&
          named_key->last_write_time == admitted.key_status.last_write_time &&
          named_key->change_time == admitted.key_status.change_time);
  require(static_cast<std::uint64_t>(named_key->size) <= max_key_bytes);
  // The look is the name's, and the lists are read through the held descriptor: the
  // look of the held file below must show the very object and change time.
  posix::require_no_lists(admitted.lists, admitted.key_file.get(), *named_key, now);
  contents.resize(static_cast<std::size_t>(named_key->size));
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t got = posix::retry([&] {
      return ::pread(admitted.key_file.get(), contents.data() + done, contents.size() - done,
                     static_cast<off_t>(done));
    });
    require(got > 0);
    done += static_cast<std::size_t>(got);
  }
  require(posix::unchanged_look(posix::look(admitted.key_file.get()), *named_key));
}

}  // namespace

namespace posix {

bool revisit_shortcut(std::string_view store_path, std::string_view key_path,
                      const Admitted& admitted, std::uint64_t max_key_bytes,
                      std::string& contents) {
  const std::optional<Split> split = split_paths(store_path, key_path);
  if (!split) return false;
  try {
    revisit_on_one_mount(*split, admitted, max_key_bytes, contents);
    return true;
  } catch (const Rejected&) {
    // The bytes stay in the buffer, which the caller's holder wipes whole.
    contents.clear();
    return false;
  }
}

}  // namespace posix

void revisit(std::string_view store_path, std::string_view key_path, const Admitted& admitted,
             std::uint64_t max_key_bytes, std::string& contents) {
  if (!posix::revisit_shortcut(store_path, key_path, admitted, max_key_bytes, contents)) {
    revisit_by_walking(store_path, key_path, admitted, max_key_bytes, contents);
  }
}

}  // namespace zu::archive_fs
