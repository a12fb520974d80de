// locate: what a path resolves to, and every shape of path that is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;
using testing::same_object;

// The absolute path of every directory from the root down to path, root first.
std::vector<std::string> prefixes(const std::string& path) {
  std::vector<std::string> out{"/"};
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    out.push_back(path.substr(0, slash));
  }
  return out;
}

TEST(Locate, OpensEveryDirectoryOfThePathRootFirst) {
  Scratch scratch;
  testing::make_directory(scratch.at("a"));
  testing::make_directory(scratch.at("a/b"));
  const std::string target = scratch.at("a/b/c");

  const Location location = locate(target);

  // The target does not exist; its parent is a/b and every directory above it is kept.
  const std::vector<std::string> above = prefixes(target);  // "/", ..., ".../a/b"
  ASSERT_EQ(location.ancestors.size(), above.size() - 1);
  for (std::size_t i = 0; i < location.ancestors.size(); ++i) {
    EXPECT_TRUE(same_object(location.ancestors[i], above[i])) << above[i];
  }
  EXPECT_TRUE(same_object(location.parent, scratch.at("a/b")));
  EXPECT_EQ(location.name, "c");
}

TEST(Locate, ATopLevelNameHasTheRootAsParentAndNoAncestors) {
  const Location location = locate("/zu-archive-fs-no-such-entry");
  EXPECT_TRUE(location.ancestors.empty());
  EXPECT_TRUE(same_object(location.parent, "/"));
  EXPECT_EQ(location.name, "zu-archive-fs-no-such-entry");
}

TEST(Locate, ARelativePathResolvesAgainstTheWorkingDirectory) {
  Scratch scratch;
  testing::make_directory(scratch.at("data"));
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(scratch.path().c_str()), 0);

  const Location location = locate("data/store");
  ASSERT_EQ(::chdir(previous), 0);

  EXPECT_TRUE(same_object(location.parent, scratch.at("data")));
  EXPECT_TRUE(same_object(location.ancestors.back(), scratch.path()));
  EXPECT_EQ(location.ancestors.size(), prefixes(scratch.at("data")).size());
  EXPECT_EQ(location.name, "store");
}

TEST(Locate, KeepsTheResolvedDirectoriesWhenThePathIsRenamedAway) {
  Scratch scratch;
  testing::make_directory(scratch.at("data"));
  const Location location = locate(scratch.at("data/store"));
  ASSERT_EQ(::rename(scratch.at("data").c_str(), scratch.at("moved").c_str()), 0);
  testing::make_directory(scratch.at("data"));

  // Later opens go through the handle, not the text: the parent is still the renamed one.
  Handle created = create_directory(location.parent, location.name);
  EXPECT_TRUE(same_object(created, scratch.at("moved/store")));
}

TEST(Locate, RefusesPathsThatNameNoEntryBelowTheRoot) {
  Scratch scratch;
  for (const std::string& path : {std::string(""), std::string("/"), std::string("//"),
                                  scratch.path() + "/", scratch.at("a//b")}) {
    EXPECT_THROW((void)locate(path), Rejected) << '"' << path << '"';
  }
}

TEST(Locate, RefusesDotComponentsAndNamesThatAreNotPortable) {
  Scratch scratch;
  testing::make_directory(scratch.at("a"));
  for (const char* tail : {"a/.", "a/..", "./a", "../a", "a/./x", "a/../x", "a./x", "a /x", "x.",
                           "x ", "a:b", "a\\b", "a?b", "a\tb", "bad\xff", "\xc0\xaf"}) {
    EXPECT_THROW((void)locate(scratch.at(tail)), Rejected) << tail;
  }
  const std::string with_nul = scratch.at("a") + std::string(1, '\0') + "b";
  EXPECT_THROW((void)locate(with_nul), Rejected);
  // A name with characters beyond ASCII is fine.
  EXPECT_EQ(locate(scratch.at("a/caf\xc3\xa9 \xf0\x9f\x93\x81.d")).name,
            "caf\xc3\xa9 \xf0\x9f\x93\x81.d");
}

TEST(Locate, RefusesASymbolicLinkAtAnyDirectoryComponent) {
  Scratch scratch;
  testing::make_directory(scratch.at("real"));
  testing::make_directory(scratch.at("real/inner"));
  ASSERT_EQ(::symlink(scratch.at("real").c_str(), scratch.at("link").c_str()), 0);
  ASSERT_EQ(::symlink("inner", scratch.at("real/hop").c_str()), 0);

  EXPECT_THROW((void)locate(scratch.at("link/store")), Rejected);
  EXPECT_THROW((void)locate(scratch.at("link/inner/store")), Rejected);
  EXPECT_THROW((void)locate(scratch.at("real/hop/store")), Rejected);
  EXPECT_NO_THROW((void)locate(scratch.at("real/inner/store")));

  // A link as the last component is only a name; opening it is what refuses it.
  const Location last = locate(scratch.at("link"));
  EXPECT_EQ(last.name, "link");
  EXPECT_THROW((void)open_directory(last.parent, last.name), Rejected);
}

TEST(Locate, RefusesAComponentThatIsAFile) {
  Scratch scratch;
  testing::make_file(scratch.at("file"), "x");
  EXPECT_THROW((void)locate(scratch.at("file/store")), Rejected);
}

TEST(Locate, RefusesVirtualFileSystems) {
  // /proc and /sys are not disk file systems: their owners and modes promise nothing.
  EXPECT_THROW((void)locate("/proc/self/store"), Rejected);
  EXPECT_THROW((void)locate("/proc/store"), Rejected);
  EXPECT_THROW((void)locate("/sys/store"), Rejected);
}

TEST(Locate, NeverWaitsOnAFuseFileSystemThatDoesNotAnswer) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a FUSE file system needs root";
  Scratch scratch;
  const std::string mnt = scratch.at("mnt");
  testing::make_directory(mnt);
  // Mounted straight through /dev/fuse, which nobody reads: every request waits until the
  // connection ends, as it does when the device is closed after the mount is detached.
  const Handle device(::open("/dev/fuse", O_RDWR | O_CLOEXEC));
  if (!device) GTEST_SKIP() << "/dev/fuse: " << std::strerror(errno);
  const std::string options =
      "fd=" + std::to_string(device.get()) + ",rootmode=40000,user_id=0,group_id=0";
  if (::mount("zu-test", mnt.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount FUSE here: " << std::strerror(errno);
  }
  const struct Unmount {
    const std::string& at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mnt};

  // In a child, which can be killed if it gets stuck. Each bit is a call that did not throw.
  const int code = testing::in_child(
      [&] {
        int passed = 0;
        const Handle above = testing::open_store(scratch.path());
        const auto attempt = [&](int bit, auto call) {
          try {
            call();
            passed |= bit;
          } catch (const Rejected&) {
          }
        };
        attempt(1, [&] { (void)locate(mnt + "/x"); });
        attempt(2, [&] { (void)open_directory(above, "mnt"); });
        attempt(4, [&] { (void)open_file(above, "mnt", true); });
        attempt(8, [&] { (void)entry_status(above, "mnt"); });
        return passed;
      },
      5'000);
  EXPECT_EQ(code, 0) << "-1: still waiting on the file system after 5 s";
}

TEST(Locate, AcceptsATmpfsDirectory) {
  struct statfs shm {};
  if (::statfs("/dev/shm", &shm) != 0 || shm.f_type != 0x01021994) {
    GTEST_SKIP() << "/dev/shm is not a tmpfs on this machine";
  }
  Scratch scratch("/dev/shm");
  const Location location = locate(scratch.at("store"));
  EXPECT_TRUE(same_object(location.parent, scratch.path()));
}

}  // namespace
}  // namespace zu::archive_fs
