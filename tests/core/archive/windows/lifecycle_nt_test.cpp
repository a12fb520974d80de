// Provisioning and opening an archive on the NT backend, through locate with real paths:
// what must exist, what must not, what a refusal leaves behind (nothing), and the limits.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

namespace fs = zu::archive_fs::testing;
using Messages = std::vector<zu::Message>;

TEST_F(ArchiveTest, NtProvisionNeedsNewObjectsAndOpenNeedsExistingOnes) {
  EXPECT_TRUE(is_refusal(open()));

  // A store directory that holds anything is not taken over (an empty one is, below).
  fs::make_directory(store_path());
  fs::make_file(store_path() + "\\record", "r");
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(fs::exists(key_path()));
  ASSERT_NE(::DeleteFileW(fs::wide(store_path() + "\\record").c_str()), 0);
  ASSERT_NE(::RemoveDirectoryW(fs::wide(store_path()).c_str()), 0);

  fs::make_file(key_path(), std::string(96, 'k'));
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(fs::exists(store_path()));  // the key name is checked before the store is made
  ASSERT_NE(::DeleteFileW(fs::wide(key_path()).c_str()), 0);

  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(open()));
  EXPECT_TRUE(is_refusal(provision()));
}

// An empty private store directory and no key file is what a provision cut short leaves
// behind; the next provision takes it over, and its records load after a reopen.
TEST_F(ArchiveTest, NtAnEmptyPrivateStoreDirectoryIsTakenOver) {
  fs::make_directory(store_path());
  auto made = provision();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(made));
  const auto key = std::get<ArchivePtr>(made)->save({user_text("kept")}, "s");
  ASSERT_TRUE(std::holds_alternative<std::string>(key));
  std::get<ArchivePtr>(made).reset();
  auto reopened = open();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(reopened));
  EXPECT_TRUE(std::holds_alternative<Messages>(
      std::get<ArchivePtr>(reopened)->load(std::get<std::string>(key), "s")));
}

TEST_F(ArchiveTest, NtProvisionMakesAPrivateStoreAndASealedKeyFileOf96Bytes) {
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
  EXPECT_EQ(fs::descriptor_of(store_path()), fs::private_sddl("FA"));
  EXPECT_EQ(fs::descriptor_of(key_path()), fs::private_sddl("FR"));
  EXPECT_EQ(fs::read_bytes(key_path()).size(), 96u);
  EXPECT_TRUE(entries().empty());
}

TEST_F(ArchiveTest, NtAKeyDirectoryThatIsNotPrivateIsRefusedBeforeAnythingIsMade) {
  const std::string user = fs::user_sid();
  for (const std::string& list :
       {"D:P(A;;FA;;;" + user + ")(A;;FR;;;BU)", "D:(A;;FA;;;" + user + ")",
        "D:P(A;OICI;FA;;;" + user + ")", std::string("D:NO_ACCESS_CONTROL")}) {
    fs::set_descriptor(scratch_.at("keys"), list, DACL_SECURITY_INFORMATION);
    EXPECT_TRUE(is_refusal(provision())) << list;
    EXPECT_FALSE(fs::exists(store_path())) << list;
    EXPECT_TRUE(fs::names_in(scratch_.at("keys")).empty()) << list;
  }
  fs::set_descriptor(scratch_.at("keys"), "O:BA", OWNER_SECURITY_INFORMATION);
  fs::set_descriptor(scratch_.at("keys"), fs::private_sddl("FA").substr(2 + user.size()),
                     DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(fs::exists(store_path()));
  fs::set_descriptor(scratch_.at("keys"), fs::private_sddl("FA"),
                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
}

TEST_F(ArchiveTest, NtAKeyFileInsideTheStoreIsRefused) {
  EXPECT_TRUE(is_refusal(zu::NativeArchive::provision(store_path(), store_path() + "/key", "o",
                                                      descriptor_, {})));
  EXPECT_FALSE(fs::exists(store_path()));
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
  fs::make_directory(store_path() + "/keys");
  ASSERT_NE(::MoveFileExW(fs::wide(key_path()).c_str(), fs::wide(store_path() + "/keys/key").c_str(),
                          0),
            0);
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(store_path(), store_path() + "/keys/key",
                                                 "owner-1", descriptor_, {})));
}

TEST_F(ArchiveTest, NtAKeyNameTakenByADirectoryIsRefusedBeforeTheStoreIsMade) {
  // A refusal after the store directory was made takes it away again (see the key inside
  // the store above); this one comes before it.
  fs::make_directory(scratch_.at("keys/archive.key"));
  EXPECT_TRUE(is_refusal(provision()));
  EXPECT_FALSE(fs::exists(store_path()));
  ASSERT_NE(::RemoveDirectoryW(fs::wide(scratch_.at("keys/archive.key")).c_str()), 0);
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(provision()));
}

TEST_F(ArchiveTest, NtPathsTheFileSystemLayerRefusesAreTheOneArchiveError) {
  for (const std::string& store :
       {std::string("C:\\"), std::string("\\\\server\\share\\store"), std::string("Z:\\tmp\\store"),
        scratch_.at("a:b"), scratch_.at("store."), scratch_.at("missing/store")}) {
    EXPECT_TRUE(is_refusal(zu::NativeArchive::provision(store, key_path(), "o", descriptor_, {})))
        << store;
  }
  EXPECT_TRUE(is_refusal(zu::NativeArchive::provision(store_path(), scratch_.at("keys/k:x"), "o",
                                                      descriptor_, {})));
  EXPECT_TRUE(is_refusal(zu::NativeArchive::provision(store_path(), scratch_.at("keys"), "o",
                                                      descriptor_, {})));
  EXPECT_EQ(fs::names_in(scratch_.path()), std::vector<std::string>{"keys"});
  EXPECT_TRUE(fs::names_in(scratch_.at("keys")).empty());
}

TEST_F(ArchiveTest, NtLimitsOutsideTheirRangesAreRefusedAndCreateNothing) {
  const zu::descriptor::CodecResources& r = kRoomyResources;
  const zu::NativeArchiveLimits refused[] = {
      {.max_record_bytes = r.max_digest_bytes + 1},
      {.max_messages = r.max_message_count + 1},
      {.max_blocks = r.max_block_count + 1},
      {.max_json_depth = r.max_json_depth + 1},
      {.max_records = r.max_message_count + 1},
      {.max_record_bytes = 4096, .max_store_bytes = 4095},
  };
  for (const zu::NativeArchiveLimits& limits : refused) {
    EXPECT_TRUE(is_refusal(provision(limits)));
    EXPECT_FALSE(fs::exists(store_path()));
  }
  EXPECT_TRUE(is_refusal(provision({}, "")));
  EXPECT_TRUE(is_refusal(provision({.max_record_bytes = 1000}, std::string(921, 'o'))));
  EXPECT_FALSE(fs::exists(store_path()));
  EXPECT_FALSE(fs::exists(key_path()));
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(provision({.max_record_bytes = 1000},
                                                           std::string(920, 'o'))));
}

TEST_F(ArchiveTest, NtAnOpenArchiveKeepsItsStoreAndKeyFileFromBeingRenamedOrReplaced) {
  const ArchivePtr archive = made();
  const auto saved = archive->save({user_text("kept")}, "s");
  ASSERT_TRUE(std::holds_alternative<std::string>(saved));
  fs::make_directory(scratch_.at("other"));
  EXPECT_EQ(::MoveFileExW(fs::wide(store_path()).c_str(), fs::wide(scratch_.at("moved")).c_str(), 0),
            0);
  EXPECT_EQ(::MoveFileExW(fs::wide(scratch_.at("other")).c_str(), fs::wide(store_path()).c_str(),
                          MOVEFILE_REPLACE_EXISTING),
            0);
  EXPECT_EQ(::DeleteFileW(fs::wide(key_path()).c_str()), 0);
  EXPECT_TRUE(std::holds_alternative<std::vector<zu::Message>>(
      archive->load(std::get<std::string>(saved), "s")));
}

}  // namespace
}  // namespace zu_test
