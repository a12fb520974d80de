// Publication, flushing, the capacity scan and the key file's independence from the
// store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;

constexpr const char* kStaging =
    ".pending-00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
constexpr const char* kFinal = "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100";

class Store : public ::testing::Test {
 protected:
  Store() {
    testing::make_directory(scratch_.at("store"));
    store_ = testing::open_store(scratch_.at("store"));
  }
  std::string in_store(const std::string& name) const { return scratch_.at("store/" + name); }
  bool exists(const std::string& name) const {
    struct stat ignored {};
    return ::lstat(in_store(name).c_str(), &ignored) == 0;
  }
  // stage makes a sealed staging file holding bytes, as the archive would before publish.
  Handle stage(const std::string& bytes) {
    Handle staging = create_file(store_, kStaging);
    write_all(staging, bytes);
    seal_file(staging);
    return staging;
  }

  Scratch scratch_;
  Handle store_;
};

TEST_F(Store, PublishRenamesTheOpenFileToItsFinalName) {
  const Handle staging = stage("record");
  publish(store_, staging, kStaging, kFinal);
  finish_publication(store_, staging);
  EXPECT_FALSE(exists(kStaging));
  EXPECT_TRUE(testing::same_object(staging, in_store(kFinal)));
  EXPECT_EQ(entry_status(store_, kFinal).size, 6);
}

TEST_F(Store, PublishNeverReplacesAnExistingNameAndLeavesTheStagingFileInPlace) {
  testing::make_file(in_store(kFinal), "first", 0400);
  const Handle staging = stage("second");
  EXPECT_THROW(publish(store_, staging, kStaging, kFinal), Rejected);
  EXPECT_EQ(read_all(open_file(store_, kFinal, false), 64), "first");
  EXPECT_TRUE(testing::same_object(staging, in_store(kStaging)));

  // The caller's clean-up then removes the staging entry at once.
  remove_staging(store_, staging, kStaging);
  EXPECT_FALSE(exists(kStaging));
  EXPECT_EQ(read_all(open_file(store_, kFinal, false), 64), "first");
}

TEST_F(Store, PublishRefusesAStagingNameThatDoesNotDenoteTheFile) {
  const Handle staging = stage("record");
  testing::make_file(in_store("other"), "other", 0400);
  EXPECT_THROW(publish(store_, staging, "other", kFinal), Rejected);
  EXPECT_THROW(publish(store_, staging, "missing", kFinal), Rejected);
  EXPECT_FALSE(exists(kFinal));
  EXPECT_THROW(publish(store_, staging, kStaging, "bad:name"), Rejected);
  EXPECT_TRUE(exists(kStaging));
}

TEST_F(Store, RemoveStagingLeavesANameThatDenotesAnotherFile) {
  const Handle staging = stage("record");
  ASSERT_EQ(::rename(in_store(kStaging).c_str(), in_store("moved").c_str()), 0);
  testing::make_file(in_store(kStaging), "someone else's", 0400);
  remove_staging(store_, staging, kStaging);
  EXPECT_TRUE(exists(kStaging));
  EXPECT_TRUE(exists("moved"));
}

TEST_F(Store, RemoveStagingNeverThrows) {
  const Handle staging = stage("record");
  EXPECT_NO_THROW(remove_staging(store_, Handle(), kStaging));
  EXPECT_NO_THROW(remove_staging(Handle(), staging, kStaging));
  EXPECT_NO_THROW(remove_staging(store_, staging, "bad/name"));
  EXPECT_TRUE(exists(kStaging));
}

TEST_F(Store, SyncFlushesFilesAndDirectoriesAndRefusesAnythingElse) {
  const Handle staging = stage("record");
  EXPECT_NO_THROW(sync(staging));
  EXPECT_NO_THROW(sync(store_));
  EXPECT_THROW(sync(Handle()), Rejected);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const Handle read_end(ends[0]);
  const Handle write_end(ends[1]);
  EXPECT_THROW(sync(read_end), Rejected);
}

TEST_F(Store, CapacityCountsEntriesAgainstMaxEntries) {
  EXPECT_NO_THROW(check_capacity(store_, 1, 100, 0));
  testing::make_file(in_store("a"), "x", 0400);
  EXPECT_THROW(check_capacity(store_, 1, 100, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 2, 100, 0));
  testing::make_file(in_store("b"), "x", 0400);
  EXPECT_THROW(check_capacity(store_, 2, 100, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 3, 100, 0));
}

TEST_F(Store, CapacityAddsTheIncomingBytesToTheStoredOnes) {
  testing::make_file(in_store("a"), std::string(10, 'a'), 0400);
  testing::make_file(in_store("b"), std::string(20, 'b'), 0400);
  EXPECT_NO_THROW(check_capacity(store_, 10, 100, 70));
  EXPECT_THROW(check_capacity(store_, 10, 100, 71), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 10, 30, 0));
  EXPECT_THROW(check_capacity(store_, 10, 29, 0), Rejected);
  EXPECT_THROW(check_capacity(store_, 10, 100, UINT64_MAX), Rejected);
}

TEST_F(Store, CapacityOfZeroEntriesHoldsNothing) {
  EXPECT_THROW(check_capacity(store_, 0, 100, 0), Rejected);
}

TEST_F(Store, CapacityCountsAStagingFileLikeARecord) {
  const Handle staging = create_file(store_, kStaging);  // still writable, mode 0600
  write_all(staging, std::string(40, 's'));
  EXPECT_THROW(check_capacity(store_, 1, 100, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 2, 100, 60));
  EXPECT_THROW(check_capacity(store_, 2, 100, 61), Rejected);
}

TEST_F(Store, CapacityRefusesAStoreHoldingAnythingButPrivateFiles) {
  struct Case {
    const char* what;
    void (*make)(const std::string& store);
  };
  const Case cases[] = {
      {"an empty sub-directory", [](const std::string& s) { testing::make_directory(s + "/sub"); }},
      {"a hard-linked record",
       [](const std::string& s) {
         testing::make_file(s + "/a", "x", 0400);
         ASSERT_EQ(::link((s + "/a").c_str(), (s + "/b").c_str()), 0);
       }},
      {"a file another user owns",
       [](const std::string& s) {
         testing::make_file(s + "/a", "x", 0400);
         ASSERT_EQ(::chown((s + "/a").c_str(), testing::kOtherUser, static_cast<gid_t>(-1)), 0);
         ASSERT_EQ(::chmod((s + "/a").c_str(), 0400), 0);
       }},
      {"a file of mode 0644", [](const std::string& s) { testing::make_file(s + "/a", "x", 0644); }},
      {"a FIFO", [](const std::string& s) { ASSERT_EQ(::mkfifo((s + "/fifo").c_str(), 0600), 0); }},
      {"a symbolic link",
       [](const std::string& s) {
         testing::make_file(s + "/a", "x", 0400);
         ASSERT_EQ(::symlink("a", (s + "/b").c_str()), 0);
       }},
      {"a name ending in a dot", [](const std::string& s) { testing::make_file(s + "/a.", "x", 0400); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch scratch;
    const std::string store = scratch.at("store");
    testing::make_directory(store);
    c.make(store);
    const Handle dir = testing::open_store(store);
    EXPECT_THROW(check_capacity(dir, 100, 1 << 20, 0), Rejected);
  }
}

TEST_F(Store, CapacityRefusesADevice) {
  if (::mknod(in_store("null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  EXPECT_THROW(check_capacity(store_, 100, 1 << 20, 0), Rejected);
}

TEST_F(Store, CapacityRefusesAFileWithAnAccessList) {
  testing::make_file(in_store("a"), "x", 0400);
  if (!testing::add_acl_entry(in_store("a"), testing::kOtherUser)) {
    GTEST_SKIP() << "this file system has no POSIX access control lists";
  }
  EXPECT_THROW(check_capacity(store_, 100, 1 << 20, 0), Rejected);
}

TEST_F(Store, CapacityLeavesTheCallersDirectoryPositionAlone) {
  for (const char* name : {"a", "b", "c"}) testing::make_file(in_store(name), "x", 0400);
  const off_t before = ::lseek(store_.get(), 0, SEEK_CUR);
  check_capacity(store_, 10, 100, 0);
  check_capacity(store_, 10, 100, 0);
  EXPECT_EQ(::lseek(store_.get(), 0, SEEK_CUR), before);
}

class KeyPlacement : public ::testing::Test {
 protected:
  KeyPlacement() {
    testing::make_directory(scratch_.at("store"));
    testing::make_directory(scratch_.at("store/sub"));
    testing::make_directory(scratch_.at("keys"));
    store_ = testing::open_store(scratch_.at("store"));
  }
  Scratch scratch_;
  Handle store_;
};

TEST_F(KeyPlacement, AKeyInsideTheStoreIsRefused) {
  EXPECT_THROW(independent_key_parent(store_, locate(scratch_.at("store/key"))), Rejected);
}

TEST_F(KeyPlacement, AKeyInASubDirectoryOfTheStoreIsRefused) {
  EXPECT_THROW(independent_key_parent(store_, locate(scratch_.at("store/sub/key"))), Rejected);
}

TEST_F(KeyPlacement, AKeyBesideTheStorePasses) {
  EXPECT_NO_THROW(independent_key_parent(store_, locate(scratch_.at("keys/key"))));
  EXPECT_NO_THROW(independent_key_parent(store_, locate(scratch_.at("key"))));
}

}  // namespace
}  // namespace zu::archive_fs
