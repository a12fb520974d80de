// Opening and creating entries, and querying them: type checks, exact modes, statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;

class Opens : public ::testing::Test {
 protected:
  Opens() {
    testing::make_directory(scratch_.at("dir"));
    testing::make_file(scratch_.at("file"), "contents");
    root_ = testing::open_store(scratch_.path());
  }
  Scratch scratch_;
  Handle root_;
};

TEST_F(Opens, OpenDirectoryOpensOnlyDirectories) {
  const Handle dir = open_directory(root_, "dir");
  EXPECT_TRUE(testing::same_object(dir, scratch_.at("dir")));
  EXPECT_THROW((void)open_directory(root_, "file"), Rejected);
  EXPECT_THROW((void)open_directory(root_, "missing"), Rejected);
}

TEST_F(Opens, OpenFileOpensOnlyRegularFiles) {
  const Handle file = open_file(root_, "file", false);
  EXPECT_TRUE(testing::same_object(file, scratch_.at("file")));
  EXPECT_THROW((void)open_file(root_, "dir", false), Rejected);
  EXPECT_THROW((void)open_file(root_, "dir", true), Rejected);
}

TEST_F(Opens, OpenFileWithMissingOkTurnsOnlyAMissingNameIntoAnEmptyHandle) {
  EXPECT_FALSE(open_file(root_, "missing", true));
  EXPECT_THROW((void)open_file(root_, "missing", false), Rejected);
  // A dangling link is not "missing": it is a link, and refused.
  ASSERT_EQ(::symlink("missing", scratch_.at("dangling").c_str()), 0);
  EXPECT_THROW((void)open_file(root_, "dangling", true), Rejected);
  // Neither is a bad name.
  EXPECT_THROW((void)open_file(root_, "x:y", true), Rejected);
}

TEST_F(Opens, NoOpenFollowsASymbolicLink) {
  ASSERT_EQ(::symlink(scratch_.at("file").c_str(), scratch_.at("file-link").c_str()), 0);
  ASSERT_EQ(::symlink(scratch_.at("dir").c_str(), scratch_.at("dir-link").c_str()), 0);
  EXPECT_THROW((void)open_file(root_, "file-link", false), Rejected);
  EXPECT_THROW((void)open_directory(root_, "dir-link"), Rejected);
  EXPECT_THROW((void)entry_status(root_, "file-link"), Rejected);
  EXPECT_THROW((void)create_file(root_, "file-link"), Rejected);
  EXPECT_THROW((void)create_directory(root_, "dir-link"), Rejected);
  // The link targets were not touched.
  EXPECT_EQ(testing::mode_of(scratch_.at("file")), 0400);
}

TEST_F(Opens, AFifoIsRefusedWithoutBlockingAnyOpen) {
  ASSERT_EQ(::mkfifo(scratch_.at("fifo").c_str(), 0600), 0);
  // With no writer on the other end, an open that waited would hang the test here.
  EXPECT_THROW((void)open_file(root_, "fifo", false), Rejected);
  EXPECT_THROW((void)open_directory(root_, "fifo"), Rejected);
  EXPECT_THROW((void)entry_status(root_, "fifo"), Rejected);
  EXPECT_THROW((void)locate(scratch_.at("fifo/store")), Rejected);
}

TEST_F(Opens, ADeviceIsRefused) {
  if (::mknod(scratch_.at("null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  EXPECT_THROW((void)open_file(root_, "null", false), Rejected);
  EXPECT_THROW((void)entry_status(root_, "null"), Rejected);
}

TEST_F(Opens, CreatedEntriesHaveTheirExactModeWhateverTheUmask) {
  for (const mode_t mask : {mode_t{0777}, mode_t{0}, mode_t{0022}}) {
    SCOPED_TRACE(mask);
    const testing::UmaskGuard guard(mask);
    const std::string suffix = std::to_string(mask);
    const Handle dir = create_directory(root_, "d" + suffix);
    const Handle file = create_file(root_, "f" + suffix);
    EXPECT_EQ(testing::mode_of(scratch_.at("d" + suffix)), 0700);
    EXPECT_EQ(testing::mode_of(scratch_.at("f" + suffix)), 0600);
    EXPECT_NO_THROW(private_directory(dir));
    EXPECT_NO_THROW(private_file(file, false));
  }
}

TEST_F(Opens, ADirectoryCreatedUnderASetgidParentCarriesNoSetgidBit) {
  testing::make_directory(scratch_.at("shared"), 02770);
  const Handle shared = open_directory(root_, "shared");
  const Handle dir = create_directory(shared, "store");
  EXPECT_EQ(testing::mode_of(scratch_.at("shared/store")), 0700);
  EXPECT_NO_THROW(private_directory(dir));
}

TEST_F(Opens, CreatedEntriesInheritNoAccessList) {
  testing::make_directory(scratch_.at("inherits"));
  if (!testing::add_acl_entry(scratch_.at("inherits"), testing::kOtherUser, true)) {
    GTEST_SKIP() << "this file system has no POSIX access control lists";
  }
  const Handle parent = open_directory(root_, "inherits");
  const Handle dir = create_directory(parent, "store");
  const Handle file = create_file(parent, "key");
  EXPECT_NO_THROW(private_directory(dir));
  EXPECT_NO_THROW(private_file(file, false));
}

TEST_F(Opens, CreateRefusesAnExistingNameOfAnyKind) {
  EXPECT_THROW((void)create_directory(root_, "dir"), Rejected);
  EXPECT_THROW((void)create_directory(root_, "file"), Rejected);
  EXPECT_THROW((void)create_file(root_, "file"), Rejected);
  EXPECT_THROW((void)create_file(root_, "dir"), Rejected);
  EXPECT_EQ(testing::mode_of(scratch_.at("file")), 0400);
}

TEST_F(Opens, CreateAndOpenRefuseNamesThatAreNotPortable) {
  for (const char* name : {"..", "a/b", "a.", "\xff"}) {
    EXPECT_THROW((void)create_file(root_, name), Rejected) << name;
    EXPECT_THROW((void)create_directory(root_, name), Rejected) << name;
    EXPECT_THROW((void)open_file(root_, name, true), Rejected) << name;
    EXPECT_THROW((void)open_directory(root_, name), Rejected) << name;
  }
  // Nothing was created by the refused calls.
  struct stat ignored {};
  EXPECT_NE(::lstat(scratch_.at("a.").c_str(), &ignored), 0);
}

TEST_F(Opens, ACreateDirectoryThatRunsOutOfDescriptorsLeavesNoEntry) {
  // In a child, whose descriptor limit can be exhausted without harm to the test.
  const int code = testing::in_child([&] {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 256);
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
    std::vector<int> spare;
    for (int fd; (fd = ::fcntl(root_.get(), F_DUPFD_CLOEXEC, 0)) >= 0;) spare.push_back(fd);
    // With 0, 1 and then 2 descriptors free, a create either succeeds or leaves nothing.
    for (int free = 0; free < 3 && !spare.empty(); ++free) {
      const std::string name = "d" + std::to_string(free);
      struct stat entry {};
      try {
        const Handle made = create_directory(root_, name);
        if (::fstatat(root_.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return 10 + free;
      } catch (const Rejected&) {
        if (::fstatat(root_.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) return 20 + free;
      }
      ::close(spare.back());
      spare.pop_back();
    }
    return 0;
  });
  EXPECT_EQ(code, 0) << "2x: a refused create left its entry with x descriptors free";
}

// Another user who may write the parent swaps their own directory in under the name being
// created, over and over; a root caller must never adopt it, nor chmod it.
TEST(CreateDirectoryRace, NeverAdoptsNorChangesADirectorySwappedInByAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  Scratch scratch;
  ASSERT_EQ(::chmod(scratch.path().c_str(), 0711), 0);
  const std::string arena = scratch.at("arena");
  testing::make_directory(arena, 0755);
  testing::make_directory(arena + "/decoy", 0755);
  // A non-empty decoy is never removed by the clean-up between rounds, which only removes
  // empty directories.
  testing::make_file(arena + "/decoy/mine", "x", 0644);
  for (const char* path : {"", "/decoy", "/decoy/mine"}) {
    ASSERT_EQ(::chown((arena + path).c_str(), testing::kOtherUser, testing::kOtherUser), 0);
  }
  const Handle parent = testing::open_store(arena);
  const Handle decoy(::open((arena + "/decoy").c_str(), O_PATH | O_CLOEXEC));
  ASSERT_TRUE(decoy);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);

  const pid_t attacker = ::fork();
  ASSERT_GE(attacker, 0);
  if (attacker == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::alarm(30);
    if (::setgid(testing::kOtherUser) != 0 || ::setuid(testing::kOtherUser) != 0) ::_exit(2);
    if (::write(ready[1], "x", 1) != 1) ::_exit(3);
    for (;;) {
      if (::renameat2(parent.get(), "target", parent.get(), "decoy", RENAME_EXCHANGE) != 0 &&
          errno == ENOENT) {
        // The decoy alone is left, under "target": put it back.
        ::renameat2(parent.get(), "target", parent.get(), "decoy", RENAME_NOREPLACE);
      }
    }
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  int adopted = 0;
  int changed = 0;
  int rounds = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
  for (; rounds < 60000 && adopted + changed == 0 && std::chrono::steady_clock::now() < end;
       ++rounds) {
    try {
      const Handle made = create_directory(parent, "target");
      struct stat got {};
      if (::fstat(made.get(), &got) != 0 || got.st_uid != 0) ++adopted;
    } catch (const Rejected&) {
    }
    struct stat now {};
    if (::fstat(decoy.get(), &now) != 0 || (now.st_mode & 07777) != 0755) ++changed;
    // Our own directory is empty, wherever the attacker left it.
    ::unlinkat(parent.get(), "target", AT_REMOVEDIR);
    ::unlinkat(parent.get(), "decoy", AT_REMOVEDIR);
  }
  ::kill(attacker, SIGKILL);
  ::waitpid(attacker, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(adopted, 0) << "in " << rounds << " rounds";
  EXPECT_EQ(changed, 0) << "in " << rounds << " rounds";
}

TEST_F(Opens, StatusReportsTheFileSystemIdentityInodeSizeAndNanosecondTimes) {
  const struct timespec times[2] = {{1'000, 5}, {1'700'000'000, 123'456'789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, scratch_.at("file").c_str(), times, 0), 0);
  const struct stat expected = testing::stat_of(scratch_.at("file"));

  const Status got = status(open_file(root_, "file", false));

  EXPECT_EQ(got.volume, testing::volume_of(scratch_.at("file")));
  EXPECT_EQ(got.file_id, testing::file_id_of(scratch_.at("file")));
  EXPECT_EQ(got.size, 8);
  EXPECT_EQ(got.last_write_time, 1'700'000'000'123'456'789);
  EXPECT_EQ(got.change_time,
            expected.st_ctim.tv_sec * 1'000'000'000LL + expected.st_ctim.tv_nsec);
}

// A file identity must not pass on to a later file: the next file made in the same
// directory usually gets the freed inode number back, and must still be another file.
// Another process may take the freed number first, hence the rounds.
TEST_F(Opens, AFileMadeOnAFreedInodeNumberIsAnotherFile) {
  for (int round = 0; round < 40; ++round) {
    const std::string name = "reused-" + std::to_string(round);
    const std::string path = scratch_.at(name);
    testing::make_file(path, "contents");
    const ino_t inode = testing::stat_of(path).st_ino;
    const Status first = status(open_file(root_, name, false));
    ASSERT_EQ(::unlink(path.c_str()), 0);
    for (int attempt = 0; attempt < 20; ++attempt) {
      testing::make_file(path, "contents");
      if (testing::stat_of(path).st_ino == inode) {
        const Status second = status(open_file(root_, name, false));
        EXPECT_FALSE(same_file(first, second));
        EXPECT_EQ(second.file_id, testing::file_id_of(path));
        return;
      }
      ASSERT_EQ(::unlink(path.c_str()), 0);
    }
  }
  FAIL() << "the file system never handed the inode number out again";
}

TEST_F(Opens, StatusRefusesAFileThatWasDeleted) {
  const Handle file = open_file(root_, "file", false);
  ASSERT_EQ(::unlink(scratch_.at("file").c_str()), 0);
  EXPECT_THROW((void)status(file), Rejected);
}

TEST_F(Opens, EntryStatusAcceptsOnlyASealedPrivateFileWithOneLink) {
  EXPECT_EQ(entry_status(root_, "file").file_id, testing::file_id_of(scratch_.at("file")));

  testing::make_file(scratch_.at("writable"), "x", 0600);
  EXPECT_THROW((void)entry_status(root_, "writable"), Rejected);
  ASSERT_EQ(::link(scratch_.at("file").c_str(), scratch_.at("second").c_str()), 0);
  EXPECT_THROW((void)entry_status(root_, "file"), Rejected);
  EXPECT_THROW((void)entry_status(root_, "dir"), Rejected);
  EXPECT_THROW((void)entry_status(root_, "missing"), Rejected);
}

TEST(Handles, MoveTransfersOwnershipAndAssignmentClosesTheOldDescriptor) {
  const int first = ::open("/", O_RDONLY | O_CLOEXEC);
  const int second = ::open("/", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  Handle a(first);
  Handle b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), first);
  b = Handle(second);
  EXPECT_EQ(::fcntl(first, F_GETFD), -1);  // closed by the assignment
  EXPECT_EQ(b.get(), second);
  { const Handle gone(std::move(b)); }
  EXPECT_EQ(::fcntl(second, F_GETFD), -1);
  EXPECT_FALSE(Handle());
}

}  // namespace
}  // namespace zu::archive_fs
