// The store lock, across handles of one process and across processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

using testing::Scratch;

class Lock : public ::testing::Test {
 protected:
  Lock() {
    testing::make_directory(scratch_.at("store"));
    testing::make_file(scratch_.at("key"), std::string(96, 'k'), 0400);
    store_ = testing::open_store(scratch_.at("store"));
    key_dir_ = testing::open_store(scratch_.path());
  }
  Handle open_key() const { return open_file(key_dir_, "key", false); }

  // held_elsewhere returns whether a fresh, independent open of the key file finds the
  // lock taken.
  bool held_elsewhere() const {
    const Handle probe = open_key();
    if (::flock(probe.get(), LOCK_EX | LOCK_NB) == 0) return false;
    EXPECT_EQ(errno, EWOULDBLOCK);
    return true;
  }

  Scratch scratch_;
  Handle store_;
  Handle key_dir_;
};

// Waits up to timeout_ms for a byte on fd; returns whether one came.
bool byte_within(int fd, int timeout_ms) {
  pollfd wait{fd, POLLIN, 0};
  if (::poll(&wait, 1, timeout_ms) != 1) return false;
  char byte = 0;
  return ::read(fd, &byte, 1) == 1;
}

TEST_F(Lock, IsHeldForTheLockObjectsLifetimeOnTheReadOnlyHandleTheArchiveKeeps) {
  const Handle key = open_key();
  ASSERT_EQ(::fcntl(key.get(), F_GETFL) & O_ACCMODE, O_RDONLY);
  EXPECT_FALSE(held_elsewhere());
  {
    const StoreLock lock(store_, key);
    EXPECT_TRUE(held_elsewhere());
  }
  EXPECT_FALSE(held_elsewhere());
}

TEST_F(Lock, ASecondHandleInTheSameProcessWaitsUntilTheFirstIsReleased) {
  const Handle first_key = open_key();
  const Handle second_key = open_key();
  std::atomic<bool> acquired{false};
  int signal[2];
  ASSERT_EQ(::pipe(signal), 0);

  std::thread second;
  {
    const StoreLock first(store_, first_key);
    second = std::thread([&] {
      const StoreLock lock(store_, second_key);
      acquired = true;
      ASSERT_EQ(::write(signal[1], "x", 1), 1);
    });
    EXPECT_FALSE(byte_within(signal[0], 300));
    EXPECT_FALSE(acquired);
  }
  EXPECT_TRUE(byte_within(signal[0], 10'000));
  second.join();
  EXPECT_TRUE(acquired);
  ::close(signal[0]);
  ::close(signal[1]);
}

TEST_F(Lock, AForkedChildWaitsUntilTheParentReleasesIt) {
  int signal[2];
  ASSERT_EQ(::pipe(signal), 0);
  const Handle key = open_key();
  auto lock = std::make_unique<StoreLock>(store_, key);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child opens the key file for itself, as another process of the host would.
    int code = 0;
    try {
      const Handle own = open_key();
      const StoreLock taken(store_, own);
      code = ::write(signal[1], "x", 1) == 1 ? 0 : 2;
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }

  EXPECT_FALSE(byte_within(signal[0], 300));
  lock.reset();
  EXPECT_TRUE(byte_within(signal[0], 10'000));
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ::close(signal[0]);
  ::close(signal[1]);
}

TEST_F(Lock, ACrashedHolderReleasesIt) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const Handle own = open_key();
    const StoreLock taken(store_, own);
    ::_exit(0);  // no destructor runs
  }
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  EXPECT_FALSE(held_elsewhere());
}

TEST_F(Lock, CannotBeTakenWithoutAnOpenFile) {
  EXPECT_THROW(StoreLock(store_, Handle()), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs
