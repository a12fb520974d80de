// Tampering on the NT backend: records altered, swapped, hard-linked or re-permissioned,
// keys of other forms, the key file copied or replaced; every case is the archive's one
// error, and nothing forged is ever loaded.
#include <gtest/gtest.h>
#include <openssl/hmac.h>

#include <cstdio>
#include <string>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

namespace fs = zu::archive_fs::testing;
using Messages = std::vector<zu::Message>;

class NtCustody : public ArchiveTest {
 protected:
  NtCustody() : archive_(made()) {}

  std::string save(const Messages& messages, std::string_view scope = "s") {
    auto key = archive_->save(messages, scope);
    EXPECT_TRUE(std::holds_alternative<std::string>(key));
    return std::holds_alternative<std::string>(key) ? std::get<std::string>(key) : "";
  }
  std::string record_path(const std::string& key) const {
    return store_path() + "\\" + key.substr(6);
  }
  bool loads(const std::string& key, std::string_view scope = "s") const {
    return std::holds_alternative<Messages>(archive_->load(key, scope));
  }
  bool refused(const std::string& key) const { return is_refusal(archive_->load(key, "s")); }

  // forge stores `record` under the name its MAC gives with the custody key read from the
  // key file, as only a holder of the key could, and returns its archive key.
  std::string forge(const std::string& record) const {
    const std::string key_file = fs::read_bytes(key_path());
    unsigned char mac[32];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key_file.data(), 32, reinterpret_cast<const unsigned char*>(record.data()),
         record.size(), mac, &length);
    std::string name;
    char pair[3];
    for (unsigned char byte : mac) {
      std::snprintf(pair, sizeof pair, "%02x", byte);
      name += pair;
    }
    const std::string path = store_path() + "\\" + name;
    if (fs::exists(path)) {
      fs::replace_file(path, record);
    } else {
      fs::make_file(path, record);
    }
    return "zuna3:" + name;
  }

  ArchivePtr archive_;
};

TEST_F(NtCustody, AlteredTruncatedOrExtendedRecordsAreRefused) {
  const std::string key = save({user_text("hello"), user_text("world")});
  const std::string original = fs::read_bytes(record_path(key));
  ASSERT_TRUE(loads(key));
  std::string flipped = original;
  flipped.back() = static_cast<char>(flipped.back() ^ 1);
  std::string early = original;
  early[0] = static_cast<char>(early[0] ^ 0x80);
  for (const std::string& bytes :
       {flipped, early, original.substr(0, original.size() - 1), original + '\0', std::string()}) {
    fs::replace_file(record_path(key), bytes);
    EXPECT_TRUE(refused(key));
  }
  fs::replace_file(record_path(key), original);
  EXPECT_TRUE(loads(key));
}

TEST_F(NtCustody, ARecordRenamedOntoAnotherRecordsNameIsRefused) {
  const std::string first = save({user_text("first")});
  const std::string second = save({user_text("second")});
  ASSERT_NE(::MoveFileExW(fs::wide(record_path(first)).c_str(), fs::wide(record_path(second)).c_str(),
                          MOVEFILE_REPLACE_EXISTING),
            0)
      << ::GetLastError();
  EXPECT_TRUE(refused(second));
  EXPECT_TRUE(refused(first));
}

TEST_F(NtCustody, AHardLinkedRecordIsRefusedThroughEitherName) {
  const std::string key = save({user_text("linked")});
  ASSERT_NE(::CreateHardLinkW(fs::wide(scratch_.at("outside")).c_str(),
                              fs::wide(record_path(key)).c_str(), nullptr),
            0);
  EXPECT_TRUE(refused(key));
  ASSERT_NE(::DeleteFileW(fs::wide(scratch_.at("outside")).c_str()), 0);
  EXPECT_TRUE(loads(key));
}

TEST_F(NtCustody, ARecordWhoseDescriptorWasWidenedOrGivenAwayIsRefused) {
  const std::string key = save({user_text("private")});
  const std::string user = fs::user_sid();
  fs::set_descriptor(record_path(key), "D:P(A;;FR;;;" + user + ")(A;;FR;;;WD)",
                     DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(refused(key));
  fs::set_descriptor(record_path(key), fs::private_sddl("FA"), DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(refused(key));  // writable again: someone may be changing it
  fs::set_descriptor(record_path(key), "O:SY", OWNER_SECURITY_INFORMATION);
  fs::set_descriptor(record_path(key), fs::private_sddl("FR"), DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(refused(key));
  fs::set_descriptor(record_path(key), fs::private_sddl("FR"),
                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  // The record's change time moved with every write of its descriptor; its bytes and
  // identity did not, and load binds neither time.
  EXPECT_TRUE(loads(key));
}

TEST_F(NtCustody, KeysOfAnyOtherFormAreRefused) {
  const std::string key = save({user_text("x")});
  std::string upper = key;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  // Names differ only by case on Windows, so the upper-case key names the same file; it
  // is refused by its form before any file is opened.
  for (const std::string& bad : {upper, key.substr(0, 69), key + "0", "zuna2:" + key.substr(6),
                                 std::string("zuna3:") + std::string(64, 'g'),
                                 "zuna3:" + key.substr(6, 63) + ".", "zuna3:..\\" + key.substr(9)}) {
    EXPECT_TRUE(refused(bad)) << bad;
  }
  EXPECT_TRUE(loads(key));
}

TEST_F(NtCustody, ValidlyMacedRecordsThatBreakAReadingRuleAreRefused) {
  const std::string key = save({user_text("hi")});
  const std::string good = fs::read_bytes(record_path(key));
  const std::size_t role_at = good.size() - (8 + 8 + 8 + 8 + 2 + 8 + 8);
  ASSERT_EQ(good[role_at + 7], 2);  // user
  ASSERT_TRUE(loads(forge(good)));
  const auto patched = [&](std::size_t at, char value) {
    std::string bytes = good;
    bytes[at] = value;
    return bytes;
  };
  EXPECT_TRUE(refused(forge(patched(role_at + 7, 5))));        // role 5
  EXPECT_TRUE(refused(forge(patched(role_at + 23, 12))));      // kind 12
  EXPECT_TRUE(refused(forge(patched(good.size() - 1, 2))));    // bool 2
  EXPECT_TRUE(refused(forge(good + std::string(8, '\0'))));    // trailing bytes
}

TEST_F(NtCustody, ReopeningWithAnotherOwnerOrDescriptorIsRefused) {
  archive_.reset();
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(open()));
  EXPECT_TRUE(is_refusal(open({}, "owner-2")));
  zu::descriptor::DescriptorFields fields = descriptor_fields("anthropic.messages");
  fields.headers.emplace_back("X-Other", "1");
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(store_path(), key_path(), "owner-1",
                                                 zu::descriptor::ValidatedDescriptor(fields), {})));
}

TEST_F(NtCustody, ACopiedOrReplacedKeyFileIsRefused) {
  const std::string bytes = fs::read_bytes(key_path());
  archive_.reset();
  const std::string copy = scratch_.at("keys/copy.key");
  fs::make_file(copy, bytes);
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(store_path(), copy, "owner-1", descriptor_, {})));
  // A byte-identical replacement moved onto the same path carries another file identity.
  ASSERT_NE(::MoveFileExW(fs::wide(copy).c_str(), fs::wide(key_path()).c_str(),
                          MOVEFILE_REPLACE_EXISTING),
            0);
  EXPECT_TRUE(is_refusal(open()));
}

TEST_F(NtCustody, AStoreReplacedByAnotherPrivateDirectoryIsRefused) {
  const std::string key = save({user_text("kept")});
  archive_.reset();
  ASSERT_NE(::MoveFileExW(fs::wide(store_path()).c_str(), fs::wide(scratch_.at("moved")).c_str(), 0),
            0);
  fs::make_directory(store_path());
  EXPECT_TRUE(is_refusal(open()));
  ASSERT_NE(::RemoveDirectoryW(fs::wide(store_path()).c_str()), 0);
  ASSERT_NE(::MoveFileExW(fs::wide(scratch_.at("moved")).c_str(), fs::wide(store_path()).c_str(), 0),
            0);
  auto reopened = open();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(reopened));
  EXPECT_TRUE(std::holds_alternative<Messages>(std::get<ArchivePtr>(reopened)->load(key, "s")));
}

TEST_F(NtCustody, AKeyFileWhoseDescriptorChangedIsRefused) {
  const std::string key = save({user_text("kept")});
  // Under the open archive: every use checks the key file again.
  fs::set_descriptor(key_path(), fs::private_sddl("FA"), DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(refused(key));
  EXPECT_TRUE(is_refusal(archive_->save({user_text("new")}, "s")));
  EXPECT_FALSE(archive_->matches_descriptor(descriptor_));
  archive_.reset();
  EXPECT_TRUE(is_refusal(open()));
  fs::set_descriptor(key_path(), "D:P(A;;FR;;;" + fs::user_sid() + ")(A;;FR;;;SY)",
                     DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(is_refusal(open()));
}

}  // namespace
}  // namespace zu_test
