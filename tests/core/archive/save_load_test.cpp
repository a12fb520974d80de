// Saving message lists and loading them back: what comes back, what is written, and
// what save refuses because load would.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

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

TEST_F(ArchiveTest, EveryBlockKindComesBackWithRepeatedMembersWhereTheyAreAllowed) {
  const ArchivePtr archive = made();
  const Messages messages{every_block(), user_text(""), tool_answer("c3", "ok")};
  const std::string key = saved(archive, messages, "scope");
  ASSERT_EQ(key.size(), 70u);
  EXPECT_EQ(key.substr(0, 6), "zuna3:");
  EXPECT_EQ(render(loaded(archive, key, "scope")), render(messages));
}

TEST_F(ArchiveTest, AnEmptyListComesBackEmpty) {
  const ArchivePtr archive = made();
  const std::string key = saved(archive, {}, "");
  auto back = archive->load(key, "");
  ASSERT_TRUE(std::holds_alternative<Messages>(back));
  EXPECT_TRUE(std::get<Messages>(back).empty());
}

// The strongest check of rebuilt replay tokens: a loaded conversation, continued on a
// new turn, is bound and replayable exactly as the original would be.
TEST(ArchiveFamilies, LoadedConversationsOfEveryFamilyContinueAsTheOriginalWould) {
  zu::archive_fs::testing::Scratch scratch;
  zu::archive_fs::testing::make_directory(scratch.at("keys"));
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
    for (const zu::Message& message : back) {
      if (message.replay) {
        EXPECT_TRUE(message.replay->valid);
        EXPECT_EQ(message.replay->context->refusal, zu::NativeContext::RefusalReason::none);
      }
    }

    original.push_back(user_text("Thanks."));
    back.push_back(user_text("Thanks."));
    const ContextPtr before = family_context(family, descriptor, original);
    const ContextPtr after = family_context(family, descriptor, back);
    EXPECT_TRUE(after->bound);
    EXPECT_TRUE(after->history_replayable);
    EXPECT_EQ(hex(after->prefix_digest), hex(before->prefix_digest));
  }
}

// A reply decoded behind a history that was not replayable carries a token that is not
// valid, which the archive keeps. Its record holds the context's flags, not the reason.
TEST_F(ArchiveTest, AContextRebuiltWithoutItsReasonSaysSo) {
  const ArchivePtr archive = made();
  zu::Message kept_native = reply(Family::messages, "msg_0", "Paris.");
  kept_native.native = shared_document("[]");
  const Messages history{user_text("q"), kept_native, user_text("q2")};
  const ContextPtr refused = family_context(Family::messages, descriptor_, history);
  ASSERT_EQ(refused->refusal, zu::NativeContext::RefusalReason::native_present);
  Messages messages = history;
  messages.push_back(issued(reply(Family::messages, "msg_1", "Lyon."), refused));
  ASSERT_FALSE(messages.back().replay->valid);

  const Messages back = loaded(archive, saved(archive, messages, "s"), "s");
  ASSERT_EQ(render(back), render(messages));
  const zu::NativeContext& rebuilt = *back.back().replay->context;
  EXPECT_FALSE(rebuilt.history_replayable);
  EXPECT_EQ(rebuilt.refusal, zu::NativeContext::RefusalReason::not_recorded);
  EXPECT_EQ(rebuilt.refusal_position, std::nullopt);
}

// A reply's JSON comes from a model and may hold any number the reader accepts. Each
// place that JSON can sit in a replayed reply is tried alone: the tool call's arguments,
// the reply's native document and a server tool result. All must load back with the
// same kinds of number, so that the content digest and the replay token still hold.
TEST_F(ArchiveTest, RepliesCarryingNumbersAtEveryEdgeLoadBackWithValidReplays) {
  const ArchivePtr archive = made();
  const std::string numbers =
      R"([-0,-0.0,0,0.0,-0e0,-0E-7,1E308,-1e-400,5e-324,18446744073709551615,)"
      R"(18446744073709551616,-9223372036854775808,-9223372036854775809,)"
      R"(0.1000000000000000055511151231257827,123456789012345678901234567890,)"
      R"({"n":-0,"m":[-0,{"k":-0}]}])";
  const std::vector<Messages> placements{
      {zu::Message{"r", zu::Role::assistant,
                   {zu::Text{"calling"}, zu::ToolCall{"c1", "f", zu::ToolCallKind::client,
                                                      shared_document(numbers), "", nullptr}}}},
      {zu::Message{"r", zu::Role::assistant, {zu::Text{"done"}}, nullptr,
                   shared_document(numbers)}},
      {zu::Message{"r", zu::Role::assistant,
                   {zu::ServerToolResult{"c2", "search", shared_document(numbers)}}}},
  };
  const Messages history{user_text("q")};
  for (std::size_t i = 0; i < placements.size(); ++i) {
    SCOPED_TRACE(i);
    Messages messages = history;
    messages.push_back(issued(placements[i][0], family_context(Family::messages, descriptor_, history)));
    ASSERT_TRUE(messages.back().replay->valid);
    const std::string key = saved(archive, messages, "s");
    const Messages back = loaded(archive, key, "s");
    EXPECT_EQ(render(back), render(messages));
    if (back.size() == 2 && back[1].replay != nullptr) {
      EXPECT_TRUE(back[1].replay->valid);
      EXPECT_TRUE(zu::CodecAccess::archive_valid(*back[1].replay, back[1]));
    }
  }
}

TEST_F(ArchiveTest, TheSameMessagesAndScopeGiveTheSameKeyAndWriteNothing) {
  const ArchivePtr archive = made();
  const Messages messages = conversation(Family::messages, descriptor_);
  const std::string first = saved(archive, messages, "scope");
  const std::vector<std::string> after_first = entries();
  const struct stat record = zu::archive_fs::testing::stat_of(store_path() + "/" + first.substr(6));

  EXPECT_EQ(saved(archive, messages, "scope"), first);
  EXPECT_EQ(entries(), after_first);
  const struct stat again = zu::archive_fs::testing::stat_of(store_path() + "/" + first.substr(6));
  EXPECT_EQ(again.st_ino, record.st_ino);
  EXPECT_EQ(again.st_mtim.tv_nsec, record.st_mtim.tv_nsec);
  EXPECT_EQ(again.st_ctim.tv_nsec, record.st_ctim.tv_nsec);
}

TEST_F(ArchiveTest, AnotherScopeGivesAnotherKeyAndNeitherLoadsUnderTheOther) {
  const ArchivePtr archive = made();
  const Messages messages{user_text("hi")};
  const std::string first = saved(archive, messages, "scope-a");
  const std::string second = saved(archive, messages, "scope-b");
  EXPECT_NE(first, second);
  EXPECT_TRUE(is_refusal(archive->load(first, "scope-b")));
  EXPECT_TRUE(is_refusal(archive->load(second, "scope-a")));
  EXPECT_EQ(entries().size(), 2u);
}

TEST_F(ArchiveTest, SaveRefusesWhatLoadWouldRefuseAndLeavesNoFile) {
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
  refused({zu::Message{"", zu::Role::assistant, {zu::ToolCall{"c", "f", zu::ToolCallKind{3}}}}});
  refused({zu::Message{"", zu::Role::user, {zu::Image{"image/png", nullptr, zu::ImageDetail{4}}}}});
  refused(Messages(5, user_text("too many")));

  // A reply whose context carried more history than the archive's max_messages.
  Messages long_history(5, user_text("q"));
  refused({issued(reply(Family::messages, "r", "a"),
                  family_context(Family::messages, descriptor_, long_history))});

  // A reply made under another descriptor, and one under a policy of another identity.
  zu::descriptor::DescriptorFields other = descriptor_fields("anthropic.messages");
  other.base_url = "https://elsewhere.example.test";
  const zu::descriptor::ValidatedDescriptor elsewhere(other);
  refused({issued(reply(Family::messages, "r", "a"), family_context(Family::messages, elsewhere, {}))});
  const zu::descriptor::ValidatedDescriptor renamed(
      descriptor_fields("anthropic.messages", make_policy("zu.test.other-policy")));
  refused({issued(reply(Family::messages, "r", "a"), family_context(Family::messages, renamed, {}))});

  // A token that no longer matches its message's content.
  zu::Message edited = issued(reply(Family::messages, "r", "a"),
                              family_context(Family::messages, descriptor_, {}));
  edited.content.push_back(zu::Text{"added later"});
  refused({edited});
}

struct Boom {
  operator zu::Text() const { throw 7; }  // NOLINT: converts only to throw
};

TEST_F(ArchiveTest, ABlockWithoutAValueIsThrownNotRefused) {
  const ArchivePtr archive = made();
  zu::Message message = user_text("x");
  try {
    message.content[0].emplace<zu::Text>(Boom{});
  } catch (int) {
  }
  ASSERT_TRUE(message.content[0].valueless_by_exception());
  EXPECT_THROW(static_cast<void>(archive->save({message}, "s")), std::bad_variant_access);
  EXPECT_TRUE(entries().empty());
}

}  // namespace
}  // namespace zu_test
