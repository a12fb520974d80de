// Whole-file reading and writing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;

class ReadWrite : public ::testing::Test {
 protected:
  ReadWrite() : root_(testing::open_store(scratch_.path())) {}
  Scratch scratch_;
  Handle root_;
};

TEST_F(ReadWrite, ReadAllTakesAFileOfExactlyMaxSizeAndRefusesOneByteMore) {
  testing::make_file(scratch_.at("record"), "0123456789");
  const Handle file = open_file(root_, "record", false);
  EXPECT_EQ(read_all(file, 10), "0123456789");
  EXPECT_EQ(read_all(file, 11), "0123456789");
  EXPECT_THROW((void)read_all(file, 9), Rejected);
  EXPECT_THROW((void)read_all(file, 0), Rejected);
}

TEST_F(ReadWrite, ReadAllOfAnEmptyFileIsEmpty) {
  testing::make_file(scratch_.at("empty"), "");
  EXPECT_EQ(read_all(open_file(root_, "empty", false), 0), "");
}

TEST_F(ReadWrite, ReadAllReadsFromTheStartAndLeavesThePositionAlone) {
  const Handle file = create_file(root_, "record");
  write_all(file, "abcdef");
  ASSERT_EQ(::lseek(file.get(), 2, SEEK_SET), 2);
  EXPECT_EQ(read_all(file, 64), "abcdef");
  EXPECT_EQ(::lseek(file.get(), 0, SEEK_CUR), 2);
}

TEST_F(ReadWrite, ReadAllRefusesADirectory) {
  testing::make_directory(scratch_.at("dir"));
  EXPECT_THROW((void)read_all(open_directory(root_, "dir"), 1 << 20), Rejected);
}

TEST_F(ReadWrite, ReadAllRefusesAFileWhoseTimesChangeWhileItIsRead) {
  const std::string path = scratch_.at("busy");
  testing::make_file(path, std::string(std::size_t{32} << 20, 'r'));
  const Handle file = open_file(root_, "busy", false);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);

  // Another process stamps the file with ever new times, as fast as it can: every read
  // is overlapped by a change, and each change differs from all before it.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (long second = 1;; ++second) {
      const struct timespec times[2] = {{second, 0}, {second, 0}};
      ::utimensat(AT_FDCWD, path.c_str(), times, 0);
      if (second == 1 && ::write(ready[1], "x", 1) != 1) ::_exit(1);
    }
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  int refused = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    try {
      static_cast<void>(read_all(file, std::size_t{64} << 20));
    } catch (const Rejected&) {
      ++refused;
    }
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_GT(refused, 0);

  // At rest the same file reads back whole.
  EXPECT_EQ(read_all(file, std::size_t{64} << 20).size(), std::size_t{32} << 20);
}

TEST_F(ReadWrite, WriteAllWritesEverythingAtTheCurrentPosition) {
  const Handle file = create_file(root_, "record");
  write_all(file, "head-");
  write_all(file, "");
  const std::string large(std::size_t{3} << 20, 'z');
  write_all(file, large);
  EXPECT_EQ(read_all(file, std::size_t{4} << 20), "head-" + large);
}

TEST_F(ReadWrite, WriteAllRefusesAHandleOpenOnlyForReading) {
  testing::make_file(scratch_.at("record"), "x", 0400);
  EXPECT_THROW(write_all(open_file(root_, "record", false), "more"), Rejected);
  EXPECT_EQ(read_all(open_file(root_, "record", false), 8), "x");
}

}  // namespace
}  // namespace zu::archive_fs
