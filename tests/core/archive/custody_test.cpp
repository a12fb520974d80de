// Tampering with records, keys, the key file and the store: every case is refused with
// the archive's one error, and nothing forged is ever loaded.
#include <fcntl.h>
#include <openssl/hmac.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <iterator>
#include <string>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// write_sealed replaces path with bytes, sealed as the archive seals records.
void write_sealed(const std::string& path, const std::string& bytes) {
  ::unlink(path.c_str());
  zu::archive_fs::testing::make_file(path, bytes, 0400);
}

class Custody : public ArchiveTest {
 protected:
  Custody() : archive_(made()) {}

  std::string save(const Messages& messages, std::string_view scope = "s") {
    auto key = archive_->save(messages, scope);
    EXPECT_TRUE(std::holds_alternative<std::string>(key));
    return std::holds_alternative<std::string>(key) ? std::get<std::string>(key) : "";
  }
  std::string record_path(const std::string& key) const { return store_path() + "/" + key.substr(6); }
  bool loads(const std::string& key, std::string_view scope = "s") const {
    return std::holds_alternative<Messages>(archive_->load(key, scope));
  }

  // forge stores `record` under the name its MAC gives with the custody key read from
  // the key file, as only a holder of the key could, and returns its archive key.
  std::string forge(const std::string& record) const {
    const std::string key_file = read_file(key_path());
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
    write_sealed(store_path() + "/" + name, record);
    return "zuna3:" + name;
  }

  ArchivePtr archive_;
};

TEST_F(Custody, AlteredTruncatedOrExtendedRecordsAreRefused) {
  const std::string key = save({user_text("hello"), user_text("world")});
  const std::string original = read_file(record_path(key));
  ASSERT_TRUE(loads(key));

  std::string flipped = original;
  flipped.back() = static_cast<char>(flipped.back() ^ 1);
  for (const std::string& bytes : {flipped, original.substr(0, original.size() - 1), original + '\0'}) {
    write_sealed(record_path(key), bytes);
    EXPECT_TRUE(is_refusal(archive_->load(key, "s")));
  }
  write_sealed(record_path(key), original);
  EXPECT_TRUE(loads(key));
}

TEST_F(Custody, ARecordRenamedOntoAnotherRecordsNameIsRefused) {
  const std::string first = save({user_text("first")});
  const std::string second = save({user_text("second")});
  ASSERT_EQ(::rename(record_path(first).c_str(), record_path(second).c_str()), 0);
  EXPECT_TRUE(is_refusal(archive_->load(second, "s")));
  EXPECT_TRUE(is_refusal(archive_->load(first, "s")));
}

TEST_F(Custody, KeysOfAnyOtherFormAreRefused) {
  const std::string key = save({user_text("x")});
  std::string upper = key;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  // Even with a file under the upper-case name, that key is not one of the archive's.
  if (upper != key) write_sealed(store_path() + "/" + upper.substr(6), read_file(record_path(key)));
  for (const std::string& bad : {upper, key.substr(0, 69), key + "0", "zuna2:" + key.substr(6),
                                 std::string("zuna3:") + std::string(64, 'g')}) {
    EXPECT_TRUE(is_refusal(archive_->load(bad, "s"))) << bad;
  }
  EXPECT_TRUE(loads(key));
}

// A record with the right MAC can only come from a holder of the custody key, yet the
// reader still checks every rule behind the MAC.
TEST_F(Custody, ValidlyMacedRecordsThatBreakAReadingRuleAreRefused) {
  const std::string key = save({user_text("hi")});
  const std::string good = read_file(record_path(key));
  // Counted from the end: role, block count, kind index, the text "hi", the native
  // flag and the replay flag.
  const std::size_t role_at = good.size() - (8 + 8 + 8 + 8 + 2 + 8 + 8);
  ASSERT_EQ(good[role_at + 7], 2);  // user
  ASSERT_TRUE(loads(forge(good)));

  const auto patched = [&](std::size_t at, char value) {
    std::string bytes = good;
    bytes[at] = value;
    return bytes;
  };
  EXPECT_TRUE(is_refusal(archive_->load(forge(patched(role_at + 7, 5)), "s")));      // role 5
  EXPECT_TRUE(is_refusal(archive_->load(forge(patched(role_at + 3, 1)), "s")));      // upper half
  EXPECT_TRUE(is_refusal(archive_->load(forge(patched(role_at + 23, 12)), "s")));    // kind 12
  EXPECT_TRUE(is_refusal(archive_->load(forge(patched(good.size() - 1, 2)), "s")));  // bool 2
  EXPECT_TRUE(is_refusal(archive_->load(forge(good + std::string(8, '\0')), "s")));  // trailing
}

TEST_F(Custody, ReopeningWithAnotherOwnerOrDescriptorIsRefused) {
  archive_.reset();
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(open()));
  EXPECT_TRUE(is_refusal(open({}, "owner-2")));

  const auto changed = [&](auto change) {
    zu::descriptor::DescriptorFields fields = descriptor_fields("anthropic.messages");
    change(fields);
    return zu::NativeArchive::open(store_path(), key_path(), "owner-1",
                                   zu::descriptor::ValidatedDescriptor(fields), {});
  };
  EXPECT_TRUE(is_refusal(changed([](auto& f) { f.headers.emplace_back("X-Other", "1"); })));
  EXPECT_TRUE(is_refusal(changed([](auto& f) { f.usage_path.push_back("total"); })));
  EXPECT_TRUE(is_refusal(changed([](auto& f) { std::swap(f.stop_mappings[0], f.stop_mappings[1]); })));
  EXPECT_TRUE(is_refusal(changed([](auto& f) { f.stop_mappings[0].second = zu::StopKind{3}; })));
  EXPECT_TRUE(is_refusal(changed([](auto& f) { f.policy = make_policy("zu.test.other"); })));
  EXPECT_TRUE(is_refusal(changed([](auto& f) { f.paths[1] = "/v2/stream"; })));
}

TEST_F(Custody, ACopiedOrReplacedKeyFileIsRefused) {
  const std::string bytes = read_file(key_path());
  archive_.reset();
  const std::string copy = scratch_.at("keys/copy.key");
  zu::archive_fs::testing::make_file(copy, bytes, 0400);
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(store_path(), copy, "owner-1", descriptor_, {})));

  // A byte-identical replacement moved onto the same path carries another file identity.
  ASSERT_EQ(::rename(copy.c_str(), key_path().c_str()), 0);
  EXPECT_TRUE(is_refusal(open()));
}

// Paths of one archive: its store directory and its key file.
struct Paths {
  std::string store;
  std::string key;
};

// on_freed_inode provisions archives on fresh paths and, for each, deletes the key file
// (or the empty store, when `key_file` is false) and remakes it at once with `remake`,
// which gets the path and the key file's bytes, until the file system hands the freed
// inode number back, as ext4 and xfs do. It
// returns that archive's paths, or nothing when the number never came back: another
// process creating files at the same moment may take a freed number first, hence the
// rounds.
std::optional<Paths> on_freed_inode(const zu::archive_fs::testing::Scratch& scratch,
                                    const zu::descriptor::ValidatedDescriptor& descriptor,
                                    bool key_file,
                                    const std::function<void(const std::string& path,
                                                             const std::string& bytes)>& remake) {
  for (int round = 0; round < 40; ++round) {
    const Paths paths{scratch.at("reuse-store-" + std::to_string(round)),
                      scratch.at("keys/reuse-" + std::to_string(round) + ".key")};
    if (!std::holds_alternative<ArchivePtr>(
            zu::NativeArchive::provision(paths.store, paths.key, "owner-1", descriptor, {}))) {
      return std::nullopt;
    }
    const std::string& target = key_file ? paths.key : paths.store;
    const ino_t inode = zu::archive_fs::testing::stat_of(target).st_ino;
    const std::string bytes = key_file ? read_file(target) : "";
    if (::remove(target.c_str()) != 0) return std::nullopt;
    for (int attempt = 0; attempt < 20; ++attempt) {
      remake(target, bytes);
      if (zu::archive_fs::testing::stat_of(target).st_ino == inode) return paths;
      if (::remove(target.c_str()) != 0) return std::nullopt;
    }
  }
  return std::nullopt;
}

constexpr const char* kNoReuse =
    "the file system never handed the inode number out again; this test needs one that "
    "reuses numbers, as ext4 and xfs do";

TEST_F(Custody, AKeyFileRewrittenOntoItsFreedInodeNumberIsRefused) {
  const auto paths = on_freed_inode(scratch_, descriptor_, true,
                                    [](const std::string& key, const std::string& bytes) {
                                      zu::archive_fs::testing::make_file(key, bytes, 0400);
                                    });
  ASSERT_TRUE(paths) << kNoReuse;
  EXPECT_EQ(read_file(paths->key).size(), 96u);
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(paths->store, paths->key, "owner-1", descriptor_, {})));
}

TEST_F(Custody, AStoreRemadeOnItsFreedInodeNumberIsRefused) {
  const auto paths = on_freed_inode(scratch_, descriptor_, false,
                                    [](const std::string& store, const std::string&) {
                                      zu::archive_fs::testing::make_directory(store);
                                    });
  ASSERT_TRUE(paths) << kNoReuse;
  EXPECT_TRUE(is_refusal(zu::NativeArchive::open(paths->store, paths->key, "owner-1", descriptor_, {})));
}

// Admission binds the objects, not their names: a store and its key file moved together
// (each may move on its own) are the same archive under their new paths.
TEST_F(Custody, AStoreAndKeyFileMovedTogetherAreAdmittedUnderTheirNewPaths) {
  const std::string key = save({user_text("kept")});
  archive_.reset();
  const std::string store = scratch_.at("moved-store");
  const std::string key_file = scratch_.at("other-keys/moved.key");
  zu::archive_fs::testing::make_directory(scratch_.at("other-keys"));
  ASSERT_EQ(::rename(store_path().c_str(), store.c_str()), 0);
  ASSERT_EQ(::rename(key_path().c_str(), key_file.c_str()), 0);
  EXPECT_TRUE(is_refusal(open()));

  auto moved = zu::NativeArchive::open(store, key_file, "owner-1", descriptor_, {});
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(moved));
  EXPECT_TRUE(std::holds_alternative<Messages>(std::get<ArchivePtr>(moved)->load(key, "s")));
}

TEST_F(Custody, AnOpenArchiveRefusesAStoreOrKeyFileChangedUnderIt) {
  const std::string key = save({user_text("kept")});
  EXPECT_TRUE(archive_->matches_descriptor(descriptor_));

  // The store directory moved away and a fresh private one put in its place.
  ASSERT_EQ(::rename(store_path().c_str(), scratch_.at("moved").c_str()), 0);
  zu::archive_fs::testing::make_directory(store_path());
  EXPECT_TRUE(is_refusal(archive_->load(key, "s")));
  EXPECT_TRUE(is_refusal(archive_->save({user_text("new")}, "s")));
  EXPECT_FALSE(archive_->matches_descriptor(descriptor_));
  ASSERT_EQ(::rmdir(store_path().c_str()), 0);
  ASSERT_EQ(::rename(scratch_.at("moved").c_str(), store_path().c_str()), 0);
  EXPECT_TRUE(loads(key));

  // The key file re-permissioned, then touched (its change time moves).
  ASSERT_EQ(::chmod(key_path().c_str(), 0600), 0);
  EXPECT_TRUE(is_refusal(archive_->load(key, "s")));
  ASSERT_EQ(::chmod(key_path().c_str(), 0400), 0);
  EXPECT_TRUE(is_refusal(archive_->load(key, "s")));
}

TEST_F(Custody, MatchesDescriptorComparesTheWholeDescriptor) {
  EXPECT_TRUE(archive_->matches_descriptor(descriptor_));
  zu::descriptor::DescriptorFields fields = descriptor_fields("anthropic.messages");
  fields.revision = 2;
  EXPECT_FALSE(archive_->matches_descriptor(zu::descriptor::ValidatedDescriptor(fields)));
  fields = descriptor_fields("anthropic.messages", nullptr);
  EXPECT_FALSE(archive_->matches_descriptor(zu::descriptor::ValidatedDescriptor(fields)));
  EXPECT_EQ(archive_->owner_scope(), "owner-1");
}

}  // namespace
}  // namespace zu_test
