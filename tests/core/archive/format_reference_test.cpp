// The archive's files as an independent reader sees them. archive_reader.py decodes the
// key file and every record from the format's description alone; a store the library
// wrote must pass it whole and show exactly the messages that were saved, and a store
// changed behind the library's back must not pass.
#include <fcntl.h>
#include <openssl/hmac.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "archive_fixture.hpp"

extern char** environ;

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;
using zu::json::quote;

constexpr const char* kOwner = "owner-1";

// reference_fields is a messages-family descriptor with more than one of everything the
// digest lists: three headers, a usage path of two elements and two stop mappings.
zu::descriptor::DescriptorFields reference_fields() {
  zu::descriptor::DescriptorFields fields = descriptor_fields(family_name(Family::messages));
  fields.headers = {{"X-Team", "blue"}, {"X-Trace", "on"}, {"anthropic-version", "2023-06-01"}};
  fields.usage_path = {"usage", "totals"};
  return fields;
}

template <typename List, typename Item>
std::string json_list(const List& list, Item item) {
  std::string out = "[";
  for (const auto& element : list) out += (out.size() > 1 ? "," : "") + item(element);
  return out + "]";
}

// descriptor_json returns `fields` in the reader's descriptor form.
std::string descriptor_json(const zu::descriptor::DescriptorFields& f) {
  const auto pair = [](const auto& p) {
    return "[" + quote(p.first) + "," + std::to_string(static_cast<int>(p.second)) + "]";
  };
  const auto header = [](const auto& h) {
    return "[" + quote(h.first) + "," + quote(h.second) + "]";
  };
  return "{\"revision\":" + std::to_string(f.revision) + ",\"id\":" + quote(f.id) +
         ",\"family\":" + quote(f.family) + ",\"base_url\":" + quote(f.base_url) +
         ",\"paths\":" + json_list(f.paths, quote) +
         ",\"request_model_member\":" + quote(f.request_model_member) +
         ",\"request_messages_member\":" + quote(f.request_messages_member) +
         ",\"request_stream_member\":" + quote(f.request_stream_member) +
         ",\"max_output_tokens_member\":" + quote(f.max_output_tokens_member) +
         ",\"usage_path\":" + json_list(f.usage_path, quote) +
         ",\"headers\":" + json_list(f.headers, header) +
         ",\"stop_mappings\":" + json_list(f.stop_mappings, pair) +
         ",\"policy_identity\":" + quote(f.policy->identity()) + "}";
}

// expected_record is what the reader must report for `messages` saved under `scope`,
// taken from the messages themselves.
std::string expected_record(const Messages& messages, const std::string& scope) {
  const auto shown = [](const zu::Message& m) {
    std::string replay = "null";
    if (const auto& r = m.replay) {
      replay = "{\"family\":" + std::to_string(static_cast<int>(r->context->family)) +
               ",\"history_count\":" + std::to_string(r->context->history_count) +
               ",\"valid\":" + (r->valid ? "true" : "false") +
               ",\"stop_kind\":" + std::to_string(static_cast<int>(r->stop_kind)) +
               ",\"content_digest\":" + quote(hex(r->content_digest)) + "}";
    }
    const auto kind = [](const zu::ContentBlock& b) { return std::to_string(b.index()); };
    return "{\"id\":" + quote(m.id) + ",\"role\":" + std::to_string(static_cast<int>(m.role)) +
           ",\"kinds\":" + json_list(m.content, kind) + ",\"replay\":" + replay + "}";
  };
  return "{\"scope\":" + quote(scope) + ",\"messages\":" + json_list(messages, shown) + "}";
}

zu::json::Document parsed(const std::string& text) {
  auto result = zu::json::parse(text, {.max_bytes = 1u << 24, .max_depth = 64});
  if (auto* document = std::get_if<zu::json::Document>(&result)) return std::move(*document);
  ADD_FAILURE() << "not JSON: " << text;
  return {};
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// rewrite replaces a sealed file's bytes and seals it again, so that only its contents
// differ from what the library left.
void rewrite(const std::string& path, const std::string& bytes) {
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
}

struct ReaderRun {
  int status = -1;  // the exit status, or -1 when the reader did not exit normally
  std::string out;
  std::string err;
};

class FormatReferenceTest : public ArchiveTest {
 protected:
  FormatReferenceTest() { descriptor_ = zu::descriptor::ValidatedDescriptor(reference_fields()); }

  // read_store runs the reader over the store with `descriptor` and `owner`.
  ReaderRun read_store(const zu::descriptor::DescriptorFields& descriptor = reference_fields(),
                       const std::string& owner = kOwner) const {
    const std::string descriptor_path = scratch_.at("descriptor.json");
    std::ofstream(descriptor_path, std::ios::trunc) << descriptor_json(descriptor);
    const std::string out_path = scratch_.at("reader.out");
    const std::string err_path = scratch_.at("reader.err");
    // The reader needs only the standard library: isolated mode and no site packages keep
    // the environment out and make the interpreter start faster.
    std::vector<std::string> args{ZU_TEST_PYTHON, "-I", "-S", ZU_TEST_ARCHIVE_READER,
                                  "--store", store_path(), "--key", key_path(),
                                  "--owner", owner, "--descriptor", descriptor_path};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int flags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), flags, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), flags, 0600);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ReaderRun run;
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) {
      ADD_FAILURE() << "cannot run " << ZU_TEST_ARCHIVE_READER;
      return run;
    }
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.out = contents(out_path);
    run.err = contents(err_path);
    return run;
  }

  // saved_store provisions the archive and saves the two records every test reads:
  // every block kind with a user message, and a bound conversation with replay tokens.
  void saved_store() {
    const ArchivePtr archive = made();
    ASSERT_NE(archive, nullptr);
    all_blocks_ = {every_block(), user_text("and one from the user")};
    talk_ = conversation(Family::messages, descriptor_);
    all_blocks_key_ = std::get<std::string>(archive->save(all_blocks_, "scope-blocks"));
    talk_key_ = std::get<std::string>(archive->save(talk_, "scope-talk"));
  }

  // forged stores `bytes` as a record under the name of their MAC with the custody key,
  // as only a holder of the key could, and returns that name.
  std::string forged(const std::string& bytes) const {
    const std::string key = contents(key_path()).substr(0, 32);
    zu::Digest mac{};
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), mac.data(), &length);
    EXPECT_EQ(length, mac.size());
    zu::archive_fs::testing::make_file(store_path() + "/" + hex(mac), bytes, 0400);
    return hex(mac);
  }

  std::string record_path(const std::string& key) const {
    return store_path() + "/" + key.substr(6);
  }

  Messages all_blocks_, talk_;
  std::string all_blocks_key_, talk_key_;
};

TEST_F(FormatReferenceTest, TheReaderAcceptsTheStoreAndSeesEveryRecordAsSaved) {
  saved_store();
  const std::string staging = ".pending-" + std::string(64, 'a');
  zu::archive_fs::testing::make_file(store_path() + "/" + staging, "half a record", 0600);

  const ReaderRun run = read_store();
  ASSERT_EQ(run.status, 0) << run.err;
  const zu::json::Document report = parsed(run.out);
  const zu::json::Value records = report.root().get("records");
  EXPECT_EQ(records.size(), 2u) << run.out;

  for (const auto& [key, messages, scope] :
       {std::tuple{all_blocks_key_, &all_blocks_, "scope-blocks"},
        std::tuple{talk_key_, &talk_, "scope-talk"}}) {
    SCOPED_TRACE(scope);
    const zu::json::Value record = records.get(key.substr(6));
    const zu::json::Document expected = parsed(expected_record(*messages, scope));
    EXPECT_TRUE(zu::json::equal(record, expected.root()))
        << "reader:   " << record.dump() << "\nexpected: " << expected.root().dump();
  }
  int replays = 0;
  for (const zu::Message& message : talk_) replays += message.replay && message.replay->valid;
  EXPECT_EQ(replays, 3) << "the conversation should carry a valid token on every reply";

  const zu::json::Value staged = report.root().get("staging");
  ASSERT_EQ(staged.size(), 1u) << run.out;
  EXPECT_EQ(staged.at(0).as_string(), staging);
}

TEST_F(FormatReferenceTest, AFlippedByteInARecordIsRefusedByItsMac) {
  saved_store();
  const std::string path = record_path(talk_key_);
  std::string bytes = contents(path);
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
  rewrite(path, bytes);

  const ReaderRun run = read_store();
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find(talk_key_.substr(6) + ": the record's MAC"), std::string::npos) << run.err;
}

// With the custody key a forger can give a bad record a good MAC; the reader must then
// still refuse what the format forbids. The role of the first message of the every-block
// record stands after the label, owner scope, descriptor digest, record scope, message
// count and message id.
constexpr std::size_t kFirstRole = (8 + 34) + (8 + 7) + (8 + 32) + (8 + 12) + 8 + (8 + 5);

TEST_F(FormatReferenceTest, ARoleOutOfRangeIsRefusedUnderAGoodMac) {
  saved_store();
  std::string bytes = contents(record_path(all_blocks_key_));
  ASSERT_EQ(bytes.substr(kFirstRole, 8), std::string("\0\0\0\0\0\0\0\3", 8));
  bytes[kFirstRole + 7] = 5;
  const std::string name = forged(bytes);

  const ReaderRun run = read_store();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(name + " at byte " + std::to_string(kFirstRole) + ": message role 5"),
            std::string::npos)
      << run.err;
}

TEST_F(FormatReferenceTest, ABytePastTheLastMessageIsRefusedUnderAGoodMac) {
  saved_store();
  const std::string bytes = contents(record_path(all_blocks_key_));
  const std::string name = forged(bytes + std::string(1, '\0'));

  const ReaderRun run = read_store();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(name + " at byte " + std::to_string(bytes.size()) +
                         ": 1 bytes follow the last message"),
            std::string::npos)
      << run.err;
}

// Loading trusts a reply's native content only while its token's content digest matches
// the message, so a reply edited under a good MAC must be refused as well.
TEST_F(FormatReferenceTest, AnEditedReplyNoLongerMatchesItsReplayToken) {
  saved_store();
  std::string bytes = contents(record_path(talk_key_));
  const std::size_t text = bytes.find("Rain is likely.");
  ASSERT_NE(text, std::string::npos);
  bytes.replace(text, 15, "Rain is lately.");
  const std::string name = forged(bytes);

  const ReaderRun run = read_store();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(name + " message 5: replay content_digest " +
                         hex(talk_[5].replay->content_digest)),
            std::string::npos)
      << run.err;
}

TEST_F(FormatReferenceTest, ADescriptorWithItsUsagePathReorderedFailsTheAdmissionMac) {
  saved_store();
  zu::descriptor::DescriptorFields reordered = reference_fields();
  std::swap(reordered.usage_path[0], reordered.usage_path[1]);

  const ReaderRun run = read_store(reordered);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("admission MAC"), std::string::npos) << run.err;
}

TEST_F(FormatReferenceTest, AnotherOwnerScopeFailsTheAdmissionMac) {
  saved_store();
  const ReaderRun run = read_store(reference_fields(), "owner-2");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("admission MAC"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace zu_test
