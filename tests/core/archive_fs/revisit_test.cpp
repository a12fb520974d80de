// The re-verification's shortcut held to the walk it stands for. For every change that an
// accident or an attacker can make to a store directory, its key file or the paths to
// them, the shortcut may decline (the walk then decides) but must never accept what the
// walk refuses; and on an untouched pair it must accept alone, or every use of an archive
// would pay for the walk again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/revisit.hpp"
#include "archive_fs/revisit.hpp"
#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;

constexpr std::uint64_t kKeyBytes = 96;
const std::string kKeyContents(kKeyBytes, 'k');

// Pair is an admitted store directory and key file: their paths, and the handles and
// statuses an archive keeps from admission on.
struct Pair {
  std::string store_path;
  std::string key_path;
  Handle store;
  Status store_status;
  Handle key_file;
  Status key_status;

  Admitted admitted(AdmittedListMemory* lists = nullptr) const {
    return {store, store_status, key_file, key_status, lists};
  }
};

// admit makes the store directory and the key file (and the key's directory where it is
// missing) at the two paths, private as provision leaves them, and admits them.
Pair admit(const std::string& store_path, const std::string& key_path) {
  const std::string key_directory = key_path.substr(0, key_path.rfind('/'));
  if (::access(key_directory.c_str(), F_OK) != 0) testing::make_directory(key_directory);
  testing::make_directory(store_path);
  testing::make_file(key_path, kKeyContents, 0400);
  Pair pair{store_path, key_path, testing::open_store(store_path), {}, {}, {}};
  pair.store_status = private_directory_status(pair.store);
  const Location key = locate(key_path);
  pair.key_file = open_file(key.parent, key.name, false);
  pair.key_status = private_file_status(pair.key_file, Shape::sealed);
  return pair;
}

// Verdicts are what the shortcut and the walk say of one pair.
struct Verdicts {
  bool shortcut = false;
  bool walk = false;
};

Verdicts judge(const Pair& pair) {
  Verdicts verdicts;
  std::string contents;
  verdicts.shortcut = posix::revisit_shortcut(pair.store_path, pair.key_path, pair.admitted(),
                                              kKeyBytes, contents);
  EXPECT_EQ(contents, verdicts.shortcut ? kKeyContents : "");
  try {
    std::string walked;
    revisit_by_walking(pair.store_path, pair.key_path, pair.admitted(), kKeyBytes, walked);
    EXPECT_EQ(walked, kKeyContents);
    verdicts.walk = true;
  } catch (const Rejected&) {
  }
  return verdicts;
}

// Tmpfs mounts a private tmpfs at a new directory for its lifetime, where it may.
class Tmpfs {
 public:
  explicit Tmpfs(const std::string& at) : at_(at) {
    testing::make_directory(at_);
    mounted_ = ::geteuid() == 0 &&
               ::mount("zu-test", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0700") == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  Tmpfs(const Tmpfs&) = delete;
  Tmpfs& operator=(const Tmpfs&) = delete;

  bool mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_ = false;
};

class Revisit : public ::testing::Test {
 protected:
  Pair standard() { return admit(scratch_.at("store"), scratch_.at("keys/archive.key")); }

  Scratch scratch_;
};

TEST_F(Revisit, AnUntouchedPairIsAcceptedByTheShortcutAloneWhereverTheKeyLies) {
  for (const auto& [store, key] :
       {std::pair<std::string, std::string>{"store", "keys/archive.key"},
        {"store-2", "beside.key"},
        {"a/b/store", "keys/deeper/archive.key"}}) {
    for (const char* directory : {"a", "a/b", "keys", "keys/deeper"}) {
      if (::access(scratch_.at(directory).c_str(), F_OK) != 0) testing::make_directory(scratch_.at(directory));
    }
    const Pair pair = admit(scratch_.at(store), scratch_.at(key));
    const Verdicts verdicts = judge(pair);
    EXPECT_TRUE(verdicts.shortcut) << store << " " << key;
    EXPECT_TRUE(verdicts.walk) << store << " " << key;
  }
}

// Each change leaves the pair as the walk refuses it; the shortcut must not accept it.
TEST_F(Revisit, TheShortcutRefusesEveryChangeTheWalkRefuses) {
  const std::function<bool(const Pair&)> changes[] = {
      // The key file touched, re-permissioned, replaced by a copy, or given a second name.
      [](const Pair& p) { return ::utimensat(AT_FDCWD, p.key_path.c_str(), nullptr, 0) == 0; },
      [](const Pair& p) { return ::chmod(p.key_path.c_str(), 0600) == 0; },
      [](const Pair& p) {
        testing::make_file(p.key_path + ".copy", kKeyContents, 0400);
        return ::rename((p.key_path + ".copy").c_str(), p.key_path.c_str()) == 0;
      },
      [](const Pair& p) { return ::link(p.key_path.c_str(), (p.key_path + ".2").c_str()) == 0; },
      // The key's directory or the store opened to others.
      [](const Pair& p) {
        return ::chmod(p.key_path.substr(0, p.key_path.rfind('/')).c_str(), 0750) == 0;
      },
      [](const Pair& p) { return ::chmod(p.store_path.c_str(), 0705) == 0; },
      // The store moved away and a fresh private directory put under its name.
      [](const Pair& p) {
        if (::rename(p.store_path.c_str(), (p.store_path + ".moved").c_str()) != 0) return false;
        testing::make_directory(p.store_path);
        return true;
      },
      // The key's directory moved away, and a symbolic link to it put under its name.
      [](const Pair& p) {
        const std::string directory = p.key_path.substr(0, p.key_path.rfind('/'));
        return ::rename(directory.c_str(), (directory + ".real").c_str()) == 0 &&
               ::symlink((directory + ".real").c_str(), directory.c_str()) == 0;
      },
  };
  int round = 0;
  for (const auto& change : changes) {
    Scratch scratch;
    const Pair pair = admit(scratch.at("store"), scratch.at("keys/archive.key"));
    ASSERT_TRUE(change(pair)) << "change " << round;
    const Verdicts verdicts = judge(pair);
    EXPECT_FALSE(verdicts.walk) << "change " << round;
    EXPECT_FALSE(verdicts.shortcut) << "change " << round;
    ++round;
  }
}

// access_list_changes gives the key file, the store, and the key's directory (a default
// list) an access list each; a change returns false where the file system keeps none.
std::vector<std::function<bool(const Pair&)>> access_list_changes() {
  return {
      [](const Pair& p) { return testing::add_acl_entry(p.key_path, testing::kOtherUser); },
      [](const Pair& p) { return testing::add_acl_entry(p.store_path, testing::kOtherUser); },
      [](const Pair& p) {
        return testing::add_acl_entry(p.key_path.substr(0, p.key_path.rfind('/')),
                                      testing::kOtherUser, true);
      },
  };
}

TEST_F(Revisit, AccessListsOnAnyOfTheThreeAreRefusedByBoth) {
  const auto changes = access_list_changes();
  for (const auto& change : changes) {
    Scratch scratch;
    const Pair pair = admit(scratch.at("store"), scratch.at("keys/archive.key"));
    if (!change(pair)) GTEST_SKIP() << "this file system has no POSIX access control lists";
    const Verdicts verdicts = judge(pair);
    EXPECT_FALSE(verdicts.walk);
    EXPECT_FALSE(verdicts.shortcut);
  }
}

// A re-verification may skip reading the lists of an object it saw free of them at the
// same settled change time; a list added to any of the three afterwards is still refused.
TEST_F(Revisit, AccessListsAddedAfterTheShortcutRememberedThePairAreRefused) {
  const auto changes = access_list_changes();
  std::vector<std::unique_ptr<Scratch>> scratches;
  std::vector<Pair> pairs;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    scratches.push_back(std::make_unique<Scratch>());
    pairs.push_back(admit(scratches.back()->at("store"), scratches.back()->at("keys/archive.key")));
  }
  // Old enough for the memory to keep what it reads.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const Pair& pair = pairs[i];
    AdmittedListMemory lists;
    std::string contents;
    ASSERT_TRUE(posix::revisit_shortcut(pair.store_path, pair.key_path, pair.admitted(&lists),
                                        kKeyBytes, contents));
    // The store and the key file are remembered, so the next revisit reads no list of them.
    EXPECT_TRUE(lists.known_free(posix::listed_object(posix::look(pair.store.get()))));
    EXPECT_TRUE(lists.known_free(posix::listed_object(posix::look(pair.key_file.get()))));
    if (!changes[i](pair)) GTEST_SKIP() << "this file system has no POSIX access control lists";
    EXPECT_FALSE(posix::revisit_shortcut(pair.store_path, pair.key_path, pair.admitted(&lists),
                                         kKeyBytes, contents))
        << "change " << i;
  }
}

TEST_F(Revisit, AKeyInsideTheStoreIsRefusedByBoth) {
  for (const std::string key : {"store/archive.key", "store/keys/archive.key"}) {
    Scratch scratch;
    testing::make_directory(scratch.at("store"));
    if (key.find("keys") != std::string::npos) testing::make_directory(scratch.at("store/keys"));
    testing::make_file(scratch.at(key), kKeyContents, 0400);
    Pair pair{scratch.at("store"), scratch.at(key), testing::open_store(scratch.at("store")), {}, {},
              {}};
    pair.store_status = private_directory_status(pair.store);
    const Location located = locate(pair.key_path);
    pair.key_file = open_file(located.parent, located.name, false);
    pair.key_status = private_file_status(pair.key_file, Shape::sealed);
    const Verdicts verdicts = judge(pair);
    EXPECT_FALSE(verdicts.walk) << key;
    EXPECT_FALSE(verdicts.shortcut) << key;
  }
}

TEST_F(Revisit, RelativePathsAreLeftToTheWalk) {
  const Pair pair = standard();
  std::string contents;
  // Relative to the root, so that the walk still finds the same pair.
  const Handle working(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  ASSERT_TRUE(working);
  const struct Return {
    const Handle& to;
    ~Return() { static_cast<void>(::fchdir(to.get())); }
  } back{working};
  ASSERT_EQ(::chdir("/"), 0);
  EXPECT_FALSE(posix::revisit_shortcut(pair.store_path.substr(1), pair.key_path.substr(1),
                                       pair.admitted(), kKeyBytes, contents));
  EXPECT_TRUE(contents.empty());
  EXPECT_NO_THROW(revisit(pair.store_path.substr(1), pair.key_path.substr(1), pair.admitted(),
                          kKeyBytes, contents));
  EXPECT_EQ(contents, kKeyContents);
}

// A pair below a mount point (a store under a /home of its own, say): the shortcut walks
// to the directory the paths share, accepting the mount it enters, and takes one call per
// path below it.
TEST_F(Revisit, APairBelowAMountPointIsWalkedToOnlyAsFarAsTheSharedDirectory) {
  const std::string mount_point = scratch_.at("mnt");
  const Tmpfs tmpfs(mount_point);
  if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (it needs root)";
  Pair pair = admit(mount_point + "/store", mount_point + "/keys/archive.key");
  const Verdicts verdicts = judge(pair);
  EXPECT_TRUE(verdicts.shortcut);
  EXPECT_TRUE(verdicts.walk);
}

// A mount between the shared directory and the key (or the store) is the walk's to judge,
// mount by mount; revisit still accepts the pair through it.
TEST_F(Revisit, AMountBelowTheSharedDirectoryIsLeftToTheWalk) {
  const std::string mount_point = scratch_.at("keys");
  const Tmpfs tmpfs(mount_point);
  if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (it needs root)";
  Pair pair = admit(scratch_.at("store"), mount_point + "/archive.key");
  const Verdicts verdicts = judge(pair);
  EXPECT_FALSE(verdicts.shortcut);
  EXPECT_TRUE(verdicts.walk);
  std::string contents;
  EXPECT_NO_THROW(revisit(pair.store_path, pair.key_path, pair.admitted(), kKeyBytes, contents));
  EXPECT_EQ(contents, kKeyContents);
}

}  // namespace
}  // namespace zu::archive_fs
