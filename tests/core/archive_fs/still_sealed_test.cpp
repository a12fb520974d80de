// The end of a load: the record's name must still denote the file that was read, still
// sealed, private, with one link and unchanged. Each way of breaking that is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "archive_fs/checked_status.hpp"
#include "scratch.hpp"
#include "zu/archive_fs.hpp"

namespace zu::archive_fs {
namespace {

// Read is a sealed record in a store of its own, opened and checked as load opens it.
struct Read {
  Read() {
    testing::make_file(record(), "sealed bytes", 0400);
    store = testing::open_store(scratch.path());
    file = open_file(store, "record", false);
    seen = private_file_status(file, Shape::sealed);
  }

  std::string record() const { return scratch.at("record"); }

  bool still_sealed() const {
    try {
      require_still_sealed(store, "record", file, seen);
      return true;
    } catch (const Rejected&) {
      return false;
    }
  }

  testing::Scratch scratch;
  Handle store;
  Handle file;
  Status seen;
};

TEST(StillSealed, AnUntouchedRecordPasses) { EXPECT_TRUE(Read().still_sealed()); }

TEST(StillSealed, ARecordChangedOrReplacedAfterItWasReadIsRefused) {
  const std::function<bool(const std::string&)> changes[] = {
      // Another sealed file with the same bytes put under the name.
      [](const std::string& record) {
        testing::make_file(record + ".other", "sealed bytes", 0400);
        return ::rename((record + ".other").c_str(), record.c_str()) == 0;
      },
      // The name removed.
      [](const std::string& record) { return ::unlink(record.c_str()) == 0; },
      // The file touched, made writable, or given a second name.
      [](const std::string& record) {
        return ::utimensat(AT_FDCWD, record.c_str(), nullptr, 0) == 0;
      },
      [](const std::string& record) { return ::chmod(record.c_str(), 0600) == 0; },
      [](const std::string& record) { return ::link(record.c_str(), (record + ".2").c_str()) == 0; },
  };
  int round = 0;
  for (const auto& change : changes) {
    const Read read;
    ASSERT_TRUE(change(read.record())) << "change " << round;
    EXPECT_FALSE(read.still_sealed()) << "change " << round;
    ++round;
  }
}

// The file read moved away before it was looked at, so that it is unchanged since, and
// another sealed file put under its name.
TEST(StillSealed, AnotherFileUnderTheNameIsRefusedThoughTheFileReadIsUnchanged) {
  Read read;
  ASSERT_EQ(::rename(read.record().c_str(), read.scratch.at("moved").c_str()), 0);
  testing::make_file(read.record(), "sealed bytes", 0400);
  read.seen = private_file_status(read.file, Shape::sealed);
  EXPECT_FALSE(read.still_sealed());
}

TEST(StillSealed, ARecordThatGainedAnAccessListIsRefused) {
  const Read read;
  if (!testing::add_acl_entry(read.record(), testing::kOtherUser)) {
    GTEST_SKIP() << "this file system has no POSIX access control lists";
  }
  EXPECT_FALSE(read.still_sealed());
}

}  // namespace
}  // namespace zu::archive_fs
