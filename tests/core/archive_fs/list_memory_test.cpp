// The rule by which a capacity scan may trust an entry's access list as an earlier scan
// read it: only at the very change time then seen, and only a change time that had
// settled before the list was read.
#include <gtest/gtest.h>

#include <cstdint>

#include "archive_fs/list_memory.hpp"

namespace zu::archive_fs {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
// A real-time clock reading with a fraction of a second, as the scan takes it.
constexpr std::int64_t kNow = 1'800'000'000 * kSecond + 123'456'789;

using Object = ListMemory::Object;

TEST(ListMemory, RemembersOnlySettledChangeTimesAndOnlyUntilTheyMove) {
  ListMemory memory;
  memory.begin(kNow);
  const Object fresh{1, 10, kNow - ListMemory::kSettledFine + 1};
  const Object settled{1, 11, kNow - ListMemory::kSettledFine - 1};
  // Whole seconds may come from a file system that keeps nothing finer, where a change
  // made a moment later can carry the same second.
  const Object whole_second{1, 12, (kNow / kSecond - 1) * kSecond};
  const Object old_whole_second{1, 13, (kNow / kSecond - 3) * kSecond};
  for (const Object& object : {fresh, settled, whole_second, old_whole_second}) {
    EXPECT_FALSE(memory.known_free(object));
    memory.read_free(object);
  }
  memory.end();

  memory.begin(kNow + kSecond);
  EXPECT_FALSE(memory.known_free(fresh));
  EXPECT_TRUE(memory.known_free(settled));
  EXPECT_FALSE(memory.known_free(whole_second));
  EXPECT_TRUE(memory.known_free(old_whole_second));
  // The same file with any other change time, or another file with the same time.
  EXPECT_FALSE(memory.known_free({1, 11, settled.change_time + 1}));
  EXPECT_FALSE(memory.known_free({2, 11, settled.change_time}));
  memory.end();

  // What a scan did not meet again is forgotten: a name may since denote another file.
  memory.begin(kNow + 2 * kSecond);
  EXPECT_TRUE(memory.known_free(settled));
  memory.end();
  memory.begin(kNow + 3 * kSecond);
  EXPECT_TRUE(memory.known_free(settled));
  EXPECT_FALSE(memory.known_free(old_whole_second));
  memory.end();
}

}  // namespace
}  // namespace zu::archive_fs
