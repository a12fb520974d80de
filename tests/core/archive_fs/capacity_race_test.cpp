// The capacity scan against a store directory that another thread removes and re-creates
// while it is being listed.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

// open_descriptors returns how many descriptors the process has open.
std::size_t open_descriptors() {
  DIR* listing = ::opendir("/proc/self/fd");
  EXPECT_NE(listing, nullptr);
  if (listing == nullptr) return 0;
  std::size_t count = 0;
  while (::readdir(listing) != nullptr) ++count;
  ::closedir(listing);
  return count;
}

TEST(CapacityRace, AStoreRemovedWhileItIsListedLeaksNoDescriptor) {
  testing::Scratch scratch;
  const Handle root = testing::open_store(scratch.path());
  const std::string victim = scratch.at("victim");
  testing::make_directory(victim);
  const std::size_t before = open_descriptors();

  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      ::rmdir(victim.c_str());
      ::mkdir(victim.c_str(), 0700);
    }
  });
  for (int call = 0; call < 20'000; ++call) {
    try {
      const Handle store = open_directory(root, "victim");
      check_capacity(store, 10, 1 << 20, 0);
    } catch (const Rejected&) {
      // Refusals are expected; only what they leave open matters here.
    }
  }
  stop = true;
  churn.join();

  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace zu::archive_fs
