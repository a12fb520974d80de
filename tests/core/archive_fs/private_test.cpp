// Private ownership: the exact shapes accepted, and every way of deviating from them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;

class Private : public ::testing::Test {
 protected:
  Private() : root_(testing::open_store(scratch_.path())) {}
  Scratch scratch_;
  Handle root_;
};

TEST_F(Private, ADirectoryPassesOnlyWithModeExactly0700) {
  for (const mode_t mode : {mode_t{0700}, mode_t{0750}, mode_t{0701}, mode_t{0755},
                            mode_t{0500}, mode_t{01700}, mode_t{02700}, mode_t{04700}}) {
    SCOPED_TRACE(mode);
    const std::string name = "d" + std::to_string(mode);
    testing::make_directory(scratch_.at(name), mode);
    const Handle dir = open_directory(root_, name);
    if (mode == 0700) {
      EXPECT_NO_THROW(private_directory(dir));
    } else {
      EXPECT_THROW(private_directory(dir), Rejected);
    }
  }
}

TEST_F(Private, AFilePassesOnlyInTheShapeAskedFor) {
  testing::make_file(scratch_.at("sealed"), "s", 0400);
  testing::make_file(scratch_.at("writable"), "w", 0600);
  const Handle sealed = open_file(root_, "sealed", false);
  const Handle writable = open_file(root_, "writable", false);
  EXPECT_NO_THROW(private_file(sealed, true));
  EXPECT_THROW(private_file(sealed, false), Rejected);
  EXPECT_NO_THROW(private_file(writable, false));
  EXPECT_THROW(private_file(writable, true), Rejected);
}

TEST_F(Private, AFileWithAnyOtherModeIsRefused) {
  for (const mode_t mode : {mode_t{0644}, mode_t{0640}, mode_t{0604}, mode_t{0700},
                            mode_t{0440}, mode_t{0000}, mode_t{04400}, mode_t{02600},
                            mode_t{01600}}) {
    SCOPED_TRACE(mode);
    const std::string name = "f" + std::to_string(mode);
    testing::make_file(scratch_.at(name), "x", mode);
    const Handle file = open_file(root_, name, false);
    EXPECT_THROW(private_file(file, true), Rejected);
    EXPECT_THROW(private_file(file, false), Rejected);
  }
}

TEST_F(Private, AnObjectOwnedByAnotherUserIsRefused) {
  testing::make_directory(scratch_.at("theirs"));
  testing::make_file(scratch_.at("their-file"), "x", 0400);
  ASSERT_EQ(::chown(scratch_.at("theirs").c_str(), testing::kOtherUser, static_cast<gid_t>(-1)), 0);
  ASSERT_EQ(::chown(scratch_.at("their-file").c_str(), testing::kOtherUser, static_cast<gid_t>(-1)), 0);
  // chown may clear mode bits; the shapes must still be otherwise exact.
  ASSERT_EQ(::chmod(scratch_.at("theirs").c_str(), 0700), 0);
  ASSERT_EQ(::chmod(scratch_.at("their-file").c_str(), 0400), 0);
  EXPECT_THROW(private_directory(open_directory(root_, "theirs")), Rejected);
  EXPECT_THROW(private_file(open_file(root_, "their-file", false), true), Rejected);
}

TEST_F(Private, AHardLinkedFileIsRefused) {
  testing::make_file(scratch_.at("file"), "x", 0400);
  const Handle file = open_file(root_, "file", false);
  EXPECT_NO_THROW(private_file(file, true));
  ASSERT_EQ(::link(scratch_.at("file").c_str(), scratch_.at("second").c_str()), 0);
  EXPECT_THROW(private_file(file, true), Rejected);
  ASSERT_EQ(::unlink(scratch_.at("second").c_str()), 0);
  EXPECT_NO_THROW(private_file(file, true));
}

TEST_F(Private, AnAddedAccessListEntryIsRefused) {
  testing::make_directory(scratch_.at("dir"));
  testing::make_file(scratch_.at("file"), "x", 0400);
  if (!testing::add_acl_entry(scratch_.at("file"), testing::kOtherUser)) {
    GTEST_SKIP() << "this file system has no POSIX access control lists";
  }
  ASSERT_TRUE(testing::add_acl_entry(scratch_.at("dir"), testing::kOtherUser));
  // The modes are still exact; a later chmod g+r would bring the entry to life.
  ASSERT_EQ(testing::mode_of(scratch_.at("file")), 0400);
  ASSERT_EQ(testing::mode_of(scratch_.at("dir")), 0700);
  EXPECT_THROW(private_file(open_file(root_, "file", false), true), Rejected);
  EXPECT_THROW(private_directory(open_directory(root_, "dir")), Rejected);
}

TEST_F(Private, ADirectoryWithADefaultAccessListIsRefused) {
  testing::make_directory(scratch_.at("dir"));
  if (!testing::add_acl_entry(scratch_.at("dir"), testing::kOtherUser, true)) {
    GTEST_SKIP() << "this file system has no POSIX access control lists";
  }
  // Its own mode is still exactly 0700: only the default list, which new entries would
  // inherit, differs.
  ASSERT_EQ(testing::mode_of(scratch_.at("dir")), 0700);
  EXPECT_THROW(private_directory(open_directory(root_, "dir")), Rejected);
}

TEST_F(Private, ChecksOfTheWrongKindAreRefused) {
  testing::make_directory(scratch_.at("dir"));
  testing::make_file(scratch_.at("file"), "x", 0600);
  const Handle dir = open_directory(root_, "dir");
  EXPECT_THROW(private_file(dir, true), Rejected);
  EXPECT_THROW(private_file(dir, false), Rejected);
  EXPECT_THROW(seal_file(dir), Rejected);
  EXPECT_EQ(testing::mode_of(scratch_.at("dir")), 0700);  // not chmod'ed by seal_file
  EXPECT_THROW(private_directory(open_file(root_, "file", false)), Rejected);
}

TEST_F(Private, SealingTurnsAWritableFileIntoASealedOneThatStillTakesWrites) {
  const Handle file = create_file(root_, "record");
  EXPECT_NO_THROW(private_file(file, false));
  EXPECT_THROW(private_file(file, true), Rejected);

  seal_file(file);

  EXPECT_NO_THROW(private_file(file, true));
  EXPECT_THROW(private_file(file, false), Rejected);
  EXPECT_EQ(testing::mode_of(scratch_.at("record")), 0400);
  // The handle that created the file may still write and flush it.
  EXPECT_NO_THROW(write_all(file, "late"));
  EXPECT_NO_THROW(sync(file));
  EXPECT_EQ(read_all(open_file(root_, "record", false), 16), "late");
}

}  // namespace
}  // namespace zu::archive_fs
