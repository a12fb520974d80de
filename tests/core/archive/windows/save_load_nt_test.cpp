// Saving and loading on the NT backend: what comes back, what is written, what save
// refuses because load would, and the store's capacity with staging files left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

namespace fs = zu::archive_fs::testing;
using Messages = std::vector<zu::Message>;

std::string saved(const ArchivePtr& archive, const Messages& messages, std::string_view scope) {
  auto key = archive->save(messages, scope);
  EXPECT_TRUE(std::holds_alternative<std::string>(key));
  return std::holds_alternative<std::string>(key) ? std::get<std::string>(key) : "";
}

Messages loaded(const ArchivePtr& archive, const std::string& key, std::string_view scope) {
  auto messages = archive->load(key, scope);
  EXPECT_TRUE(std::holds_alternative<Messages>(messages));
  return std::holds_alternative<Messages>(messages) ? std::get<Messages>(std::move(messages))
                                                    : Messages{};
}

bool saves(const ArchivePtr& archive, const Messages& messages) {
  return std::holds_alternative<std::string>(archive->save(messages, "s"));
}

TEST_F(ArchiveTest, NtEveryBlockKindComesBackWithRepeatedMembersWhereTheyAreAllowed) {
  const ArchivePtr archive = made();
  const Messages messages{every_block(), user_text(""), tool_answer("c3", "ok")};
  const std::string key = saved(archive, messages, "scope");
  ASSERT_EQ(key.size(), 70u);
  EXPECT_EQ(key.substr(0, 6), "zuna3:");
  EXPECT_EQ(render(loaded(archive, key, "scope")), render(messages));
  // The record is a sealed private file under the key's name.
  EXPECT_EQ(entries(), std::vector<std::string>{key.substr(6)});
  EXPECT_EQ(fs::descriptor_of(store_path() + "\\" + key.substr(6)), fs::private_sddl("FR"));
}

TEST_F(ArchiveTest, NtAnEmptyListComesBackEmpty) {
  const ArchivePtr archive = made();
  const std::string key = saved(archive, {}, "");
  auto back = archive->load(key, "");
  ASSERT_TRUE(std::holds_alternative<Messages>(back));
  EXPECT_TRUE(std::get<Messages>(back).empty());
}

TEST(NtArchiveFamilies, LoadedConversationsOfEveryFamilyContinueAsTheOriginalWould) {
  fs::Scratch scratch;
  fs::make_directory(scratch.at("keys"));
  for (const Family family : kAllFamilies) {
    SCOPED_TRACE(family_name(family));
    const auto descriptor = make_descriptor(family);
    const std::string name = std::to_string(static_cast<int>(family));
    auto made = zu::NativeArchive::provision(scratch.at("store" + name),
                                             scratch.at("keys/" + name), "owner", descriptor, {});
    ASSERT_TRUE(std::holds_alternative<ArchivePtr>(made));
    const ArchivePtr& archive = std::get<ArchivePtr>(made);
    Messages original = conversation(family, descriptor);
    Messages back = loaded(archive, saved(archive, original, "s"), "s");
    ASSERT_EQ(render(back), render(original));
    original.push_back(user_text("Thanks."));
    back.push_back(user_text("Thanks."));
    const ContextPtr before = family_context(family, descriptor, original);
    const ContextPtr after = family_context(family, descriptor, back);
    EXPECT_TRUE(after->bound);
    EXPECT_TRUE(after->history_replayable);
    EXPECT_EQ(hex(after->prefix_digest), hex(before->prefix_digest));
  }
}

TEST_F(ArchiveTest, NtTheSameMessagesAndScopeGiveTheSameKeyAndWriteNothing) {
  const ArchivePtr archive = made();
  const Messages messages = conversation(Family::messages, descriptor_);
  const std::string first = saved(archive, messages, "scope");
  const std::string path = store_path() + "\\" + first.substr(6);
  const fs::Identity before = fs::identity(path);
  FILETIME written_before{};
  {
    const zu::archive_fs::Handle file = fs::open_raw(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ);
    ASSERT_NE(::GetFileTime(file.get(), nullptr, nullptr, &written_before), 0);
  }
  EXPECT_EQ(saved(archive, messages, "scope"), first);
  EXPECT_EQ(entries(), std::vector<std::string>{first.substr(6)});
  EXPECT_EQ(fs::identity(path), before);
  FILETIME written_after{};
  const zu::archive_fs::Handle file = fs::open_raw(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ);
  ASSERT_NE(::GetFileTime(file.get(), nullptr, nullptr, &written_after), 0);
  EXPECT_EQ(CompareFileTime(&written_before, &written_after), 0);
}

TEST_F(ArchiveTest, NtAnotherScopeGivesAnotherKeyAndNeitherLoadsUnderTheOther) {
  const ArchivePtr archive = made();
  const Messages messages{user_text("hi")};
  const std::string first = saved(archive, messages, "scope-a");
  const std::string second = saved(archive, messages, "scope-b");
  EXPECT_NE(first, second);
  EXPECT_TRUE(is_refusal(archive->load(first, "scope-b")));
  EXPECT_TRUE(is_refusal(archive->load(second, "scope-a")));
  EXPECT_EQ(entries().size(), 2u);
}

TEST_F(ArchiveTest, NtSaveRefusesWhatLoadWouldRefuseAndLeavesNoFile) {
  const ArchivePtr archive = made({.max_messages = 4});
  const auto refused = [&](const Messages& messages) {
    EXPECT_TRUE(is_refusal(archive->save(messages, "s")));
    EXPECT_TRUE(entries().empty());
  };
  zu::Message duplicate_arguments = user_text("x");
  duplicate_arguments.content.push_back(zu::ToolCall{
      "c", "f", zu::ToolCallKind::client, shared_document(R"({"a":1,"a":2})"), "", nullptr});
  refused({duplicate_arguments});
  zu::Message role = user_text("x");
  role.role = zu::Role{5};
  refused({role});
  refused(Messages(5, user_text("too many")));
  zu::Message edited = issued(reply(Family::messages, "r", "a"),
                              family_context(Family::messages, descriptor_, {}));
  edited.content.push_back(zu::Text{"added later"});
  refused({edited});
  refused({user_text(std::string(5'000'000, 'x'))});
}

TEST_F(ArchiveTest, NtAStoreOfMaxRecordsMinusOneTakesOneMoreAndThenOnlyExistingOnes) {
  const ArchivePtr archive = made({.max_records = 3});
  ASSERT_TRUE(saves(archive, {user_text("one")}));
  ASSERT_TRUE(saves(archive, {user_text("two")}));
  EXPECT_TRUE(saves(archive, {user_text("three")}));
  EXPECT_FALSE(saves(archive, {user_text("four")}));
  EXPECT_TRUE(saves(archive, {user_text("two")}));
  EXPECT_EQ(entries().size(), 3u);
}

TEST_F(ArchiveTest, NtRecordsTotallingExactlyMaxStoreBytesFitAndOneByteLessDoesNot) {
  std::uint64_t total = 0;
  {
    const ArchivePtr archive = made();
    const std::string first = saved(archive, {user_text(std::string(600, '1'))}, "s");
    const std::string second = saved(archive, {user_text(std::string(600, '2'))}, "s");
    total = fs::read_bytes(store_path() + "\\" + first.substr(6)).size() +
            fs::read_bytes(store_path() + "\\" + second.substr(6)).size();
    ASSERT_NE(::DeleteFileW(fs::wide(store_path() + "\\" + second.substr(6)).c_str()), 0);
  }
  const auto reopened = [this](std::uint64_t store_bytes) {
    auto result = open({.max_record_bytes = 1024, .max_store_bytes = store_bytes});
    EXPECT_TRUE(std::holds_alternative<ArchivePtr>(result));
    return std::holds_alternative<ArchivePtr>(result) ? std::get<ArchivePtr>(result) : nullptr;
  };
  EXPECT_FALSE(saves(reopened(total - 1), {user_text(std::string(600, '2'))}));
  EXPECT_TRUE(saves(reopened(total), {user_text(std::string(600, '2'))}));
}

TEST_F(ArchiveTest, NtAStaleStagingFileCountsUntilItIsRemovedAndNothingElseIsTouched) {
  const ArchivePtr archive = made({.max_records = 3});
  ASSERT_TRUE(saves(archive, {user_text("one")}));
  const std::string stale = ".pending-" + std::string(64, 'a');
  fs::make_file(store_path() + "\\" + stale, "partial", fs::Shape::sealed);
  fs::make_file(store_path() + "\\.pending-" + std::string(64, 'b'), "", fs::Shape::writable);
  EXPECT_FALSE(saves(archive, {user_text("two")}));

  auto removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 2u);
  EXPECT_TRUE(saves(archive, {user_text("two")}));

  // Names the archive never makes stay, whatever their shape.
  fs::make_file(store_path() + "\\.pending-" + std::string(63, 'c'), "");
  fs::make_file(store_path() + "\\.pending-" + std::string(64, 'D'), "");
  removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 0u);
  EXPECT_EQ(entries().size(), 4u);
}

TEST_F(ArchiveTest, NtAStagingFileOfAnotherShapeOrHeldOpenIsLeftAlone) {
  const ArchivePtr archive = made();
  const std::string shared = store_path() + "\\.pending-" + std::string(64, 'e');
  fs::make_file(shared, "");
  fs::set_descriptor(shared, "D:P(A;;FR;;;" + fs::user_sid() + ")(A;;FR;;;BU)",
                     DACL_SECURITY_INFORMATION);
  const std::string held = store_path() + "\\.pending-" + std::string(64, 'f');
  fs::make_file(held, "");
  const HANDLE holder = ::CreateFileW(fs::wide(held).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  auto removed = archive->remove_stale_staging();
  ::CloseHandle(holder);
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 0u);
  EXPECT_EQ(entries().size(), 2u);
  // A store holding a file of another shape is not one the archive writes to.
  EXPECT_FALSE(saves(archive, {user_text("x")}));
  removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), 1u);
}

TEST_F(ArchiveTest, NtABlockWithoutAValueIsThrownNotRefused) {
  const ArchivePtr archive = made();
  zu::Message message = user_text("x");
  struct Boom {
    operator zu::Text() const { throw 7; }  // NOLINT: converts only to throw
  };
  try {
    message.content[0].emplace<zu::Text>(Boom{});
  } catch (int) {
  }
  ASSERT_TRUE(message.content[0].valueless_by_exception());
  EXPECT_THROW(static_cast<void>(archive->save({message}, "s")), std::bad_variant_access);
  EXPECT_TRUE(entries().empty());
}

TEST(NtArchiveLimits, ZeroLimitsTakeThePolicysResources) {
  fs::Scratch scratch;
  fs::make_directory(scratch.at("keys"));
  const auto policy = make_policy("zu.test.small", {.max_digest_bytes = 4096,
                                                    .max_json_depth = 2,
                                                    .max_json_entries = 64,
                                                    .max_message_count = 2,
                                                    .max_block_count = 3});
  const zu::descriptor::ValidatedDescriptor descriptor(descriptor_fields("anthropic.messages", policy));
  auto made = zu::NativeArchive::provision(scratch.at("store"), scratch.at("keys/k"), "o", descriptor, {});
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(made));
  const ArchivePtr& archive = std::get<ArchivePtr>(made);
  EXPECT_TRUE(is_refusal(archive->save(Messages(3, user_text("m")), "s")));
  EXPECT_TRUE(is_refusal(archive->save({every_block()}, "s")));
  EXPECT_TRUE(is_refusal(archive->save({user_text(std::string(4096, 'x'))}, "s")));
  EXPECT_TRUE(std::holds_alternative<std::string>(archive->save({user_text("first")}, "s")));
  EXPECT_TRUE(std::holds_alternative<std::string>(archive->save({user_text("second")}, "s")));
  EXPECT_TRUE(is_refusal(archive->save({user_text("third")}, "s")));
  EXPECT_EQ(fs::names_in(scratch.at("store")).size(), 2u);
}

}  // namespace
}  // namespace zu_test
