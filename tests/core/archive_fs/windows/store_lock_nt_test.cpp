// The store lock on the NT backend: a byte-range lock past the key file's contents, held
// through a handle of the lock's own, across threads and processes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "scratch.hpp"
#include "windows/processes.hpp"

namespace zu::archive_fs::testing {
namespace {

using zu_test::windows::Child;
using zu_test::windows::Event;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// try_lock_byte: tries, without waiting, to lock byte 96 of arguments[0]; 0 when the
// byte was free (it is released again), 1 when someone holds it.
ZU_TEST_CHILD(try_lock_byte) {
  const HANDLE file = ::CreateFileW(wide(arguments.at(0)).c_str(), GENERIC_READ, kShareAll,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  OVERLAPPED range{};
  range.Offset = 96;
  const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                   1, 0, &range) != 0;
  if (locked) ::UnlockFileEx(file, 0, 1, 0, &range);
  ::CloseHandle(file);
  return locked ? 0 : 1;
}

// take_lock: takes a StoreLock on arguments[0] through the library, sets the event
// arguments[1], and holds the lock until the event arguments[2] is set (or for ever,
// when that is "forever", until it is terminated).
ZU_TEST_CHILD(take_lock) {
  const Location location = locate(arguments.at(0));
  const Handle file = open_file(location.parent, location.name, false);
  const StoreLock lock(location.parent, file);
  Event(arguments.at(1)).set();
  if (arguments.at(2) == "forever") ::Sleep(INFINITE);
  return Event(arguments.at(2)).wait() ? 0 : 2;
}

class NtLock : public ::testing::Test {
 protected:
  NtLock() : store_(open_store(scratch_.path())) {
    make_file(scratch_.at("key"), std::string(96, 'k'));
    key_ = open_file(store_, "key", false);
  }
  int probe() { return Child("try_lock_byte", {scratch_.at("key")}).wait(); }

  Scratch scratch_;
  Handle store_;
  Handle key_;
};

TEST_F(NtLock, HoldsTheByteJustPastTheKeyForTheLocksLifetime) {
  EXPECT_EQ(probe(), 0);
  {
    const StoreLock lock(store_, key_);
    EXPECT_EQ(probe(), 1);
    // The contents stay readable to everyone: the lock lies past them.
    EXPECT_EQ(read_bytes(scratch_.at("key")), std::string(96, 'k'));
    EXPECT_EQ(read_all(key_, 96), std::string(96, 'k'));
  }
  EXPECT_EQ(probe(), 0);
}

TEST_F(NtLock, ASecondLockInTheSameProcessFromTheSameHandleWaitsUntilTheFirstIsReleased) {
  std::optional<StoreLock> first;
  first.emplace(store_, key_);
  std::atomic<bool> taken{false};
  std::thread second([this, &taken] {
    const StoreLock lock(store_, key_);
    taken = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(taken.load());
  first.reset();
  second.join();
  EXPECT_TRUE(taken.load());
}

TEST_F(NtLock, AnotherProcessWaitsUntilTheHolderReleasesIt) {
  Event held;
  Event release;
  Event second_held;
  Event second_release;
  Child first("take_lock", {scratch_.at("key"), held.name(), release.name()});
  ASSERT_TRUE(held.wait());
  Child second("take_lock", {scratch_.at("key"), second_held.name(), second_release.name()});
  EXPECT_FALSE(second_held.wait(500)) << "two processes held the lock at once";
  release.set();
  EXPECT_EQ(first.wait(), 0);
  EXPECT_TRUE(second_held.wait());
  EXPECT_EQ(probe(), 1);
  second_release.set();
  EXPECT_EQ(second.wait(), 0);
  EXPECT_EQ(probe(), 0);
}

TEST_F(NtLock, AHolderTerminatedWhileHoldingItReleasesIt) {
  Event held;
  Child holder("take_lock", {scratch_.at("key"), held.name(), "forever"});
  ASSERT_TRUE(held.wait());
  EXPECT_EQ(probe(), 1);
  holder.terminate();
  EXPECT_EQ(probe(), 0);
  EXPECT_NO_THROW(StoreLock(store_, key_));
}

TEST_F(NtLock, CannotBeTakenWithoutAnOpenFile) {
  EXPECT_THROW(StoreLock(store_, Handle()), Rejected);
  EXPECT_THROW(StoreLock(store_, store_), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs::testing
