// Provisioning and opening an archive: what must exist, what must not, what is left
// behind by a refusal, and the limits.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;

bool exists(const std::string& path) {
  struct stat entry {};
  return ::lstat(path.c_str(), &entry) == 0;
}

// set_immutable sets or clears the immutable flag of a directory; false where the file
// system or the caller's privileges do not allow it.
bool set_immutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

TEST_F(ArchiveTest, ProvisionNeedsNewObjectsAndOpenNeedsExistingOnes) {
  EXPECT_TRUE(is_refusal(open()));

  // A store directory that holds anything is not taken over (an empty one is, below).
  zu::archive_fs::testing::make_directory(store_path());
  zu::archive_fs::testing::make_file(store_path() + "/record", "r", 0400);
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(exists(key_path()));
  ASSERT_EQ(::unlink((store_path() + "/record").c_str()), 0);
  ASSERT_EQ(::rmdir(store_path().c_str()), 0);

  zu::archive_fs::testing::make_file(key_path(), std::string(96, 'k'), 0400);
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(exists(store_path()));  // the key name is checked before the store is made
  ASSERT_EQ(::unlink(key_path().c_str()), 0);

  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
  EXPECT_EQ(zu::archive_fs::testing::mode_of(store_path()), 0700u);
  EXPECT_EQ(zu::archive_fs::testing::mode_of(key_path()), 0400u);
  EXPECT_EQ(zu::archive_fs::testing::stat_of(key_path()).st_size, 96);
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(open()));
  EXPECT_TRUE(is_refusal(provision()));
}

TEST_F(ArchiveTest, AKeyDirectoryThatIsNotPrivateIsRefusedBeforeAnythingIsMade) {
  ASSERT_EQ(::chmod(scratch_.at("keys").c_str(), 0750), 0);
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(exists(store_path()));
  ASSERT_EQ(::chmod(scratch_.at("keys").c_str(), 0700), 0);
  if (zu::archive_fs::testing::add_acl_entry(scratch_.at("keys"), zu::archive_fs::testing::kOtherUser)) {
    EXPECT_TRUE(is_refusal(provision()));
    EXPECT_FALSE(exists(store_path()));
  }
}

TEST_F(ArchiveTest, AKeyFileInsideTheStoreIsRefused) {
  EXPECT_TRUE(is_refusal(zu::NativeArchive::provision(store_path(), store_path() + "/key", "o",
                                                      descriptor_, {})));
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
  zu::archive_fs::testing::make_directory(store_path() + "/keys");
  ASSERT_EQ(::link(key_path().c_str(), (store_path() + "/keys/key").c_str()), 0);
  ASSERT_EQ(::unlink(key_path().c_str()), 0);
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(store_path(), store_path() + "/keys/key",
                                                 "owner-1", descriptor_, {})));
}

TEST_F(ArchiveTest, AProvisionRefusedBeforeTheKeyFileExistsCanBeRetried) {
  if (!set_immutable(scratch_.at("keys"), true)) GTEST_SKIP() << "cannot make a directory immutable here";
  EXPECT_TRUE(is_refusal(provision()));
  ASSERT_TRUE(set_immutable(scratch_.at("keys"), false));
  // The empty store directory stays, and the same call takes it over.
  EXPECT_TRUE(entries().empty());
  EXPECT_FALSE(exists(key_path()));
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
}

// What a provision cut short after making the store directory leaves: an empty private
// directory and no key file. The same call takes it over; anything else under the
// store's name is refused as before.
TEST_F(ArchiveTest, AnEmptyPrivateStoreDirectoryIsTakenOverAndNothingElse) {
  zu::archive_fs::testing::make_directory(store_path(), 0750);
  EXPECT_TRUE(is_refusal(provision()));
  ASSERT_EQ(::chmod(store_path().c_str(), 0700), 0);
  zu::archive_fs::testing::make_directory(store_path() + "/sub");
  EXPECT_TRUE(is_refusal(provision()));
  ASSERT_EQ(::rmdir((store_path() + "/sub").c_str()), 0);
  EXPECT_FALSE(exists(key_path()));

  const ino_t inode = zu::archive_fs::testing::stat_of(store_path()).st_ino;
  auto made = provision();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(made));
  EXPECT_EQ(zu::archive_fs::testing::stat_of(store_path()).st_ino, inode);
  const auto key = std::get<ArchivePtr>(made)->save({user_text("kept")}, "s");
  ASSERT_TRUE(std::holds_alternative<std::string>(key));
  std::get<ArchivePtr>(made).reset();
  auto reopened = open();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(reopened));
  EXPECT_TRUE(std::holds_alternative<Messages>(
      std::get<ArchivePtr>(reopened)->load(std::get<std::string>(key), "s")));
}

TEST_F(ArchiveTest, LimitsOutsideTheirRangesAreRefusedAndCreateNothing) {
  const zu::descriptor::CodecResources& r = kRoomyResources;
  const zu::NativeArchiveLimits refused[] = {
      {.max_record_bytes = r.max_digest_bytes + 1},
      {.max_messages = r.max_message_count + 1},
      {.max_blocks = r.max_block_count + 1},
      {.max_json_depth = r.max_json_depth + 1},
      {.max_records = r.max_message_count + 1},
      {.max_record_bytes = 4096, .max_store_bytes = 4095},
      {.max_store_bytes = r.max_digest_bytes * r.max_message_count + 1},
  };
  for (const zu::NativeArchiveLimits& limits : refused) {
    EXPECT_TRUE(is_refusal(provision(limits)));
    EXPECT_FALSE(exists(store_path()));
  }
  EXPECT_TRUE(is_refusal(provision({}, "")));
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(
      provision({.max_record_bytes = r.max_digest_bytes,
                 .max_store_bytes = r.max_digest_bytes * r.max_message_count})));
}

TEST_F(ArchiveTest, TheAdmissionStatementMustFitARecord) {
  // The statement is the owner scope plus 80 bytes.
  const zu::NativeArchiveLimits limits{.max_record_bytes = 1000};
  EXPECT_TRUE(is_refusal(provision(limits, std::string(921, 'o'))));
  EXPECT_FALSE(exists(store_path()));
  EXPECT_FALSE(exists(key_path()));
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(provision(limits, std::string(920, 'o'))));
}

TEST(ArchiveLimits, ZeroLimitsTakeThePolicysResources) {
  zu::archive_fs::testing::Scratch scratch;
  zu::archive_fs::testing::make_directory(scratch.at("keys"));
  const auto policy = make_policy("zu.test.small", {.max_digest_bytes = 4096,
                                                    .max_json_depth = 2,
                                                    .max_json_entries = 64,
                                                    .max_message_count = 2,
                                                    .max_block_count = 3});
  const zu::descriptor::ValidatedDescriptor descriptor(descriptor_fields("anthropic.messages", policy));
  auto made = zu::NativeArchive::provision(scratch.at("store"), scratch.at("keys/k"), "o", descriptor, {});
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(made));
  const ArchivePtr& archive = std::get<ArchivePtr>(made);

  const auto with_document = [](const char* text) {
    zu::Message message = user_text("x");
    message.native = shared_document(text);
    return Messages{message};
  };
  EXPECT_TRUE(is_refusal(archive->save(Messages(3, user_text("m")), "s")));       // messages
  EXPECT_TRUE(is_refusal(archive->save({every_block()}, "s")));                   // blocks
  EXPECT_TRUE(is_refusal(archive->save(with_document("[[[1]]]"), "s")));          // depth
  EXPECT_TRUE(is_refusal(archive->save({user_text(std::string(4096, 'x'))}, "s")));  // bytes
  EXPECT_TRUE(std::holds_alternative<std::string>(archive->save(with_document("[[1]]"), "s")));
  // The store may hold max_records (2) entries.
  EXPECT_TRUE(std::holds_alternative<std::string>(archive->save({user_text("second")}, "s")));
  EXPECT_TRUE(is_refusal(archive->save({user_text("third")}, "s")));
}

}  // namespace
}  // namespace zu_test
