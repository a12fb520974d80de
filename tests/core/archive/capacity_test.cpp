// The store's capacity: records and bytes at their limits, and staging files left by
// interrupted saves, which count until remove_stale_staging clears them.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;

bool saves(const ArchivePtr& archive, const Messages& messages) {
  return std::holds_alternative<std::string>(archive->save(messages, "s"));
}

class Capacity : public ArchiveTest {
 protected:
  // reopened drops any archive this test holds and admits the store again under limits.
  ArchivePtr reopened(zu::NativeArchiveLimits limits) {
    auto result = open(limits);
    EXPECT_TRUE(std::holds_alternative<ArchivePtr>(result));
    return std::holds_alternative<ArchivePtr>(result) ? std::get<ArchivePtr>(result) : nullptr;
  }
  std::int64_t size_of(const std::string& key) const {
    return zu::archive_fs::testing::stat_of(store_path() + "/" + key.substr(6)).st_size;
  }
};

TEST_F(Capacity, AStoreOfMaxRecordsMinusOneTakesOneMoreAndThenOnlyExistingOnes) {
  const ArchivePtr archive = made({.max_records = 3});
  ASSERT_TRUE(saves(archive, {user_text("one")}));
  ASSERT_TRUE(saves(archive, {user_text("two")}));
  EXPECT_TRUE(saves(archive, {user_text("three")}));
  EXPECT_FALSE(saves(archive, {user_text("four")}));
  EXPECT_TRUE(saves(archive, {user_text("two")}));  // already saved: no capacity needed
  EXPECT_EQ(entries().size(), 3u);
}

TEST_F(Capacity, RecordsTotallingExactlyMaxStoreBytesFitAndOneByteLessDoesNot) {
  const ArchivePtr archive = made();
  const std::string first = std::get<std::string>(archive->save({user_text(std::string(600, '1'))}, "s"));
  // A record's size follows from its contents, so the second one's is learned by saving
  // it once and removing it again.
  const std::string second = std::get<std::string>(archive->save({user_text(std::string(600, '2'))}, "s"));
  const std::int64_t total = size_of(first) + size_of(second);
  ASSERT_EQ(::unlink((store_path() + "/" + second.substr(6)).c_str()), 0);

  const auto store_bytes = static_cast<std::uint64_t>(total);
  const std::uint64_t record_bytes = 1024;
  EXPECT_FALSE(saves(reopened({.max_record_bytes = record_bytes, .max_store_bytes = store_bytes - 1}),
                     {user_text(std::string(600, '2'))}));
  EXPECT_TRUE(saves(reopened({.max_record_bytes = record_bytes, .max_store_bytes = store_bytes}),
                    {user_text(std::string(600, '2'))}));
}

TEST_F(Capacity, AStaleStagingFileCountsUntilItIsRemovedAndNothingElseIsTouched) {
  const ArchivePtr archive = made({.max_records = 3});
  ASSERT_TRUE(saves(archive, {user_text("one")}));
  // What a writer killed between creating and publishing leaves: a sealed staging file
  // and a writable one; and two entries the archive never makes, which stay.
  const std::string stale = ".pending-" + std::string(64, 'a');
  zu::archive_fs::testing::make_file(store_path() + "/" + stale, "partial", 0400);
  zu::archive_fs::testing::make_file(store_path() + "/.pending-" + std::string(64, 'b'), "", 0600);
  EXPECT_FALSE(saves(archive, {user_text("two")}));

  auto removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 2u);
  EXPECT_TRUE(saves(archive, {user_text("two")}));

  const std::string odd = ".pending-" + std::string(63, 'c');
  const std::string upper = ".pending-" + std::string(64, 'D');
  zu::archive_fs::testing::make_file(store_path() + "/" + odd, "", 0400);
  zu::archive_fs::testing::make_file(store_path() + "/" + upper, "", 0400);
  removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 0u);
  EXPECT_EQ(entries().size(), 4u);
}

TEST_F(Capacity, AStagingFileOfAnotherShapeIsLeftAlone) {
  const ArchivePtr archive = made();
  const std::string shared = store_path() + "/.pending-" + std::string(64, 'e');
  zu::archive_fs::testing::make_file(shared, "", 0644);
  auto removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 0u);
  EXPECT_EQ(entries().size(), 1u);
  // A store holding it is not one the archive writes to.
  EXPECT_FALSE(saves(archive, {user_text("x")}));
}

// A save skips reading the access list of a record its earlier scans saw free of one,
// as long as the record's change time has not moved; whatever is done to such a record
// afterwards moves it, and the next save sees it.
TEST_F(Capacity, WhatIsDoneToARecordLongAfterItWasScannedIsSeenByTheNextSave) {
  const ArchivePtr archive = made();
  const std::string first = std::get<std::string>(archive->save({user_text("one")}, "s"));
  ASSERT_TRUE(saves(archive, {user_text("two")}));
  // Old enough that the next scan may remember both records as free of lists.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_TRUE(saves(archive, {user_text("three")}));
  ASSERT_TRUE(saves(archive, {user_text("four")}));

  const std::string record = store_path() + "/" + first.substr(6);
  if (!zu::archive_fs::testing::add_acl_entry(record, zu::archive_fs::testing::kOtherUser)) {
    GTEST_SKIP() << "this file system keeps no access control lists";
  }
  EXPECT_FALSE(saves(archive, {user_text("five")}));
  ASSERT_EQ(::removexattr(record.c_str(), "system.posix_acl_access"), 0);
  ASSERT_EQ(::chmod(record.c_str(), 0400), 0);
  EXPECT_TRUE(saves(archive, {user_text("five")}));

  // A second name for a remembered record, made from outside the store.
  const std::string outside = scratch_.at("linked");
  ASSERT_EQ(::link(record.c_str(), outside.c_str()), 0);
  EXPECT_FALSE(saves(archive, {user_text("six")}));
  ASSERT_EQ(::unlink(outside.c_str()), 0);
  EXPECT_TRUE(saves(archive, {user_text("six")}));
}

}  // namespace
}  // namespace zu_test
