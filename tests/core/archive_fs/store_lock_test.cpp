// The store lock, across handles of one process and across processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(Lock, ASecondLockInTheSameProcessWaitsUntilTheFirstIsReleased) {
  for (const bool same_handle : {false, true}) {
    SCOPED_TRACE(same_handle ? "on the same handle" : "on a second handle");
    const Handle first_key = open_key();
    const Handle second_key = open_key();
    const Handle& key = same_handle ? first_key : second_key;
    int signal[2];
    ASSERT_EQ(::pipe(signal), 0);

    std::thread second;
    {
      const StoreLock first(store_, first_key);
      second = std::thread([&] {
        const StoreLock lock(store_, key);
        EXPECT_EQ(::write(signal[1], "x", 1), 1);
      });
      EXPECT_FALSE(byte_within(signal[0], 300));
    }
    EXPECT_TRUE(byte_within(signal[0], 10'000));
    second.join();
    ::close(signal[0]);
    ::close(signal[1]);
  }
}

TEST_F(Lock, AForkedChildWaitsUntilTheParentReleasesItEvenThroughTheInheritedHandle) {
  for (const bool inherited : {false, true}) {
    SCOPED_TRACE(inherited ? "the inherited handle" : "a handle of its own");
    int signal[2];
    ASSERT_EQ(::pipe(signal), 0);
    const Handle key = open_key();
    auto lock = std::make_unique<StoreLock>(store_, key);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int code = 0;
      try {
        // A handle of its own is what another process of the host would use.
        const Handle own = inherited ? Handle() : open_key();
        const StoreLock taken(store_, inherited ? key : own);
        code = ::write(signal[1], "x", 1) == 1 ? 0 : 2;
      } catch (...) {
        code = 3;
      }
      ::_exit(code);
    }

    EXPECT_FALSE(byte_within(signal[0], 300));
    EXPECT_TRUE(held_elsewhere());
    lock.reset();
    EXPECT_TRUE(byte_within(signal[0], 10'000));
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::close(signal[0]);
    ::close(signal[1]);
  }
}

TEST_F(Lock, AForkedChildThatDestroysAnInheritedLockLeavesTheParentHoldingIt) {
  const Handle key = open_key();
  auto lock = std::make_unique<StoreLock>(store_, key);
  EXPECT_EQ(testing::in_child([&] {
              lock.reset();
              return 0;
            }),
            0);
  EXPECT_TRUE(held_elsewhere());
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
