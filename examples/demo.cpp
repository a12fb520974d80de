// One conversation, from the first question to a tamper-evident archive.
//
// A host talks to a provider of the "anthropic.messages" family for three turns (a
// signed thinking block, a tool call checked against the MCP tool's schema, the tool's
// answer). Each request gets a native context and each reply a replay token, which
// decide whether the reply's native material (the signed thinking) may be sent back.
// A changed configuration, and a provider of the "openai.responses" family, are both
// refused that material, and their contexts say why and at which message. The conversation is then saved in a native archive, loaded
// back and continued; the same save gives the same key and writes nothing; a flipped
// byte, a record under another record's name and a copied key file are each refused.
//
//   zu_demo               works in a fresh private temporary directory, removed at exit
//   zu_demo --keep DIR    works in DIR (which must not exist yet) and leaves it there
//
// Every expectation is printed with its outcome; the exit status is 1 if any failed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <vantrel/mcp_types.hpp>
#include <zu/core.hpp>
#include <zu/json.hpp>

namespace {

namespace fs = std::filesystem;
using Messages = std::vector<zu::Message>;
using ArchivePtr = std::shared_ptr<zu::NativeArchive>;

// ---------------------------------------------------------------------------------------
// Printing and checking

int g_failed = 0;
int g_checked = 0;

void expect(bool held, std::string_view what) {
  ++g_checked;
  if (!held) ++g_failed;
  std::printf("   %s %.*s\n", held ? "ok    " : "FAILED", static_cast<int>(what.size()),
              what.data());
}

void heading(const char* title) { std::printf("\n== %s\n", title); }

std::string hex_prefix(const zu::Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 6; ++i) {
    out.push_back(kDigits[digest[static_cast<std::size_t>(i)] >> 4]);
    out.push_back(kDigits[digest[static_cast<std::size_t>(i)] & 0x0F]);
  }
  return out + "...";
}

// say prints one message of the conversation as a person would read it.
void say(const zu::Message& message) {
  static constexpr const char* kRoles[] = {"system", "developer", "user", "assistant", "tool"};
  const char* role = kRoles[static_cast<int>(message.role)];
  for (const zu::ContentBlock& block : message.content) {
    if (const auto* text = std::get_if<zu::Text>(&block)) {
      std::printf("   %-10s %s\n", role, text->text.c_str());
    } else if (const auto* thinking = std::get_if<zu::Thinking>(&block)) {
      std::printf("   %-10s (thinking, signed) %s\n", role, thinking->text.c_str());
    } else if (const auto* call = std::get_if<zu::ToolCall>(&block)) {
      std::printf("   %-10s (calls %s) %s\n", role, call->name.c_str(),
                  call->arguments ? call->arguments->root().dump().c_str() : "{}");
    } else if (const auto* result = std::get_if<zu::ToolResult>(&block)) {
      std::printf("   %-10s %s\n", role, result->content.c_str());
    }
    role = "";
  }
}

std::shared_ptr<const zu::json::Document> json(const std::string& text) {
  auto parsed = zu::json::parse(text, {.max_bytes = 1 << 16, .max_depth = 16});
  if (auto* error = std::get_if<zu::json::ParseError>(&parsed)) {
    throw std::runtime_error("demo JSON refused: " + error->message);
  }
  return std::make_shared<const zu::json::Document>(
      std::get<zu::json::Document>(std::move(parsed)));
}

zu::Message text_message(zu::Role role, std::string text) {
  return {"", role, {zu::Text{std::move(text)}}, nullptr, nullptr};
}

// ---------------------------------------------------------------------------------------
// The providers

std::shared_ptr<const zu::descriptor::DescriptorPolicy> demo_policy() {
  return std::make_shared<const zu::descriptor::DescriptorPolicy>(
      "demo.policy.v1", zu::descriptor::CodecResources{.max_digest_bytes = 1 << 20,
                                                       .max_json_depth = 16,
                                                       .max_json_entries = 1024,
                                                       .max_message_count = 64,
                                                       .max_block_count = 256});
}

zu::descriptor::ValidatedDescriptor provider(const char* family, const char* id,
                                             const char* path) {
  return zu::descriptor::ValidatedDescriptor(
      {.revision = 3,
       .id = id,
       .family = family,
       .base_url = "https://api.example.test",
       .paths = {path, path},
       .request_model_member = "model",
       .request_messages_member = "messages",
       .request_stream_member = "stream",
       .max_output_tokens_member = "max_tokens",
       .usage_path = {"usage"},
       .headers = {{"x-team", "demo"}},
       .stop_mappings = {{"end_turn", zu::StopKind::turn_ended},
                         {"tool_use", zu::StopKind::tool_use}},
       .policy = demo_policy()});
}

const char* kSearchSchema =
    R"({"type":"object","required":["q"],"additionalProperties":false,)"
    R"("properties":{"q":{"type":"string"},"limit":{"type":"integer"}}})";

// The MCP server's tool list, as the host's MCP client received it.
vantrel::mcp::ListToolsPage server_tools() {
  return vantrel::mcp::ListToolsPage::from_json(vantrel::json::parse(
      std::string(R"({"tools":[{"name":"search","description":"Search the web",)") +
      R"("inputSchema":)" + kSearchSchema + "}]}"));
}

// The settings every request of the conversation goes out with, after the descriptor's
// policy resolved them: the same on every turn, or the replies' thinking cannot go back.
const zu::descriptor::EffectiveChoices kChoices{
    .max_output_tokens = 1024, .thinking_enabled = true, .thinking_budget_tokens = 512};

zu::messages::Request request(const Messages& history, const char* tool_description) {
  zu::messages::Request r{.model = "model-large", .system = "Answer briefly."};
  r.messages = history;
  r.tools.push_back(
      {.name = "search", .description = tool_description, .parameters = json(kSearchSchema)});
  return r;
}

// context makes the native context of the request that carries `history`.
std::shared_ptr<const zu::NativeContext> context(
    const zu::descriptor::ValidatedDescriptor& anthropic, const Messages& history,
    const char* tool_description = "Search the web") {
  return zu::CodecAccess::context(anthropic, request(history, tool_description), kChoices,
                                  /*streaming=*/false);
}

// answer attaches the provider's reply to the conversation with its replay token.
zu::Message answer(const std::shared_ptr<const zu::NativeContext>& context, zu::Message reply,
                   zu::StopKind stop_kind) {
  const zu::StopReason stop{stop_kind, {}};
  reply.replay = zu::CodecAccess::replay(context, reply, &stop, true);
  return reply;
}

zu::Message reply(const char* id, std::vector<zu::ContentBlock> blocks) {
  return {id, zu::Role::assistant, std::move(blocks), nullptr, nullptr};
}

// refusal_is says whether `context` refused its history for `reason` at `position`.
bool refusal_is(const zu::NativeContext& context, zu::NativeContext::RefusalReason reason,
                std::uint64_t position) {
  return context.refusal == reason && context.refusal_position == position;
}

// ---------------------------------------------------------------------------------------
// The conversation

struct Conversation {
  Messages messages;
  Messages next_turn;  // the history of a fourth turn, for continuing after a load
};

void first_turn(const zu::descriptor::ValidatedDescriptor& anthropic, Messages& history) {
  heading("Turn 1: anthropic.messages, model-large");
  history.push_back(text_message(zu::Role::user, "What is the capital of France?"));
  history.push_back(answer(context(anthropic, history),
                           reply("msg_1", {zu::Thinking{"A geography question; no tool needed.",
                                                        "sig-Jq83"},
                                           zu::Text{"Paris."}}),
                           zu::StopKind::turn_ended));
  for (const zu::Message& m : history) say(m);
  expect(history.back().replay->valid,
         "the reply's replay token is valid: its signed thinking may go back to this provider");
}

// arguments_fit checks a tool call's arguments against the MCP tool's input schema.
bool arguments_fit(const zu::ToolCall& call) {
  try {
    vantrel::mcp::validate_json_value(vantrel::json::parse(call.arguments->root().dump()),
                                      server_tools().tools.at(0).input_schema,
                                      "search arguments", "");
  } catch (const std::invalid_argument&) {
    return false;
  }
  return true;
}

void second_turn(const zu::descriptor::ValidatedDescriptor& anthropic, Messages& history) {
  heading("Turn 2: the history goes back, with the reply's native material");
  history.push_back(text_message(zu::Role::user, "How many people live there?"));
  say(history.back());
  const auto sent = context(anthropic, history);
  expect(sent->bound && sent->history_replayable,
         "history replayable: turn 1's signed thinking is sent back as it is");
  const zu::ToolCall call{"toolu_1", "search", zu::ToolCallKind::client,
                          json(R"({"q":"population of Paris","limit":3})"), "", nullptr};
  history.push_back(answer(
      sent, reply("msg_2", {zu::Thinking{"I should look up a current figure.", "sig-81Kd"}, call}),
      zu::StopKind::tool_use));
  say(history.back());
  expect(arguments_fit(call), "the tool call's arguments fit the MCP tool's input schema");
}

void third_turn(const zu::descriptor::ValidatedDescriptor& anthropic, Messages& history) {
  history.push_back({"", zu::Role::tool,
                     {zu::ToolResult{"toolu_1", "2.1 million inhabitants (2023)", false, {}}},
                     nullptr, nullptr});
  heading("Turn 3: the tool's answer goes back");
  const auto sent = context(anthropic, history);
  say(history.back());
  expect(sent->history_replayable, "history replayable: both replies' thinking goes back");
  history.push_back(
      answer(sent,
             reply("msg_3", {zu::Thinking{"The tool answered; report it.", "sig-0Pz2"},
                             zu::Text{"About 2.1 million people live in Paris."}}),
             zu::StopKind::turn_ended));
  say(history.back());
  expect(history.back().replay->valid, "the reply's replay token is valid");
}

// refusals shows the history sent where its native material may not go; each context
// says why, and at which message, it stopped.
void refusals(const zu::descriptor::ValidatedDescriptor& anthropic, const Messages& history) {
  using Reason = zu::NativeContext::RefusalReason;
  heading("Where the native material may not go");
  const auto changed = context(anthropic, history, "Search the encyclopedia");
  expect(changed->bound && refusal_is(*changed, Reason::token_other_prefix, 1),
         "a changed tool description: another configuration, so the replies stand behind\n"
         "          another prefix and their thinking must be dropped, not replayed\n"
         "          (message 1: token_other_prefix)");

  zu::responses::Request elsewhere{.model = "other-model", .instructions = "Answer briefly."};
  elsewhere.input = history;
  const auto other = zu::CodecAccess::context(
      provider("openai.responses", "demo-openai", "/v1/responses"), elsewhere, kChoices, false);
  expect(other->bound && refusal_is(*other, Reason::token_without_items, 1),
         "an openai.responses provider: that family replays its own items only, so the\n"
         "          signed thinking of anthropic.messages never crosses over\n"
         "          (message 1: token_without_items)");
}

Conversation talk(const zu::descriptor::ValidatedDescriptor& anthropic) {
  Messages history;
  first_turn(anthropic, history);
  second_turn(anthropic, history);
  third_turn(anthropic, history);
  refusals(anthropic, history);
  Conversation result{history, history};
  result.next_turn.push_back(text_message(zu::Role::user, "Thank you."));
  return result;
}

// ---------------------------------------------------------------------------------------
// The archive

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// rewrite puts `bytes` into the record file at `path` as an editor with the owner's
// rights would: make it writable, write, make it read-only again.
void rewrite(const fs::path& path, const std::string& bytes) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  fs::permissions(path, fs::perms::owner_read);
}

std::size_t files_in(const fs::path& directory) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

template <typename T>
bool refused(const std::variant<T, zu::Error>& result) {
  const auto* error = std::get_if<zu::Error>(&result);
  return error != nullptr && error->kind == zu::ErrorKind::archive_admission;
}

// Store is where the demo keeps its archive: the store directory, which provision
// makes, and the private directory of the key file, which must exist before.
struct Store {
  fs::path store;
  fs::path keys;
  std::string owner = "demo-user";

  fs::path key_file() const { return keys / "demo.key"; }
  fs::path record(const std::string& archive_key) const { return store / archive_key.substr(6); }
  std::variant<ArchivePtr, zu::Error> open(const zu::descriptor::ValidatedDescriptor& anthropic,
                                           const fs::path& key, const std::string& as) const {
    return zu::NativeArchive::open(store.string(), key.string(), as, anthropic, {});
  }
};

ArchivePtr provision(const Store& place, const zu::descriptor::ValidatedDescriptor& anthropic) {
  fs::create_directory(place.keys);
  fs::permissions(place.keys, fs::perms::owner_all);
  std::printf("   store      %s\n   key file   %s\n", place.store.string().c_str(),
              place.key_file().string().c_str());
  auto made = zu::NativeArchive::provision(place.store.string(), place.key_file().string(),
                                           place.owner, anthropic, {});
  expect(std::holds_alternative<ArchivePtr>(made), "a new store and key file provisioned");
  return std::holds_alternative<ArchivePtr>(made) ? std::get<ArchivePtr>(made) : nullptr;
}

// load_and_continue loads the conversation saved under `key` and checks that its next
// turn binds exactly as the original's would.
void load_and_continue(const ArchivePtr& vault,
                       const zu::descriptor::ValidatedDescriptor& anthropic,
                       const Conversation& conversation, const std::string& key) {
  auto loaded = vault->load(key, "chat-42");
  const std::string count = std::to_string(conversation.messages.size());
  expect(std::holds_alternative<Messages>(loaded) &&
             std::get<Messages>(loaded).size() == conversation.messages.size(),
         "loaded back: the same " + count + " messages, replay tokens rebuilt");
  if (!std::holds_alternative<Messages>(loaded)) return;
  Messages next = std::get<Messages>(loaded);
  next.push_back(text_message(zu::Role::user, "Thank you."));
  const auto before = context(anthropic, conversation.next_turn);
  const auto after = context(anthropic, next);
  std::printf("   next turn's prefix digest: original %s, loaded %s\n",
              hex_prefix(before->prefix_digest).c_str(), hex_prefix(after->prefix_digest).c_str());
  expect(after->history_replayable && after->prefix_digest == before->prefix_digest,
         "the loaded conversation continues where it left off, thinking included");
}

// save_and_load saves the conversation and returns its archive key, or nothing when the
// save was refused.
std::optional<std::string> save_and_load(const Store& place, const ArchivePtr& vault,
                                         const zu::descriptor::ValidatedDescriptor& anthropic,
                                         const Conversation& conversation) {
  auto saved = vault->save(conversation.messages, "chat-42");
  expect(std::holds_alternative<std::string>(saved),
         "the conversation saved under record scope \"chat-42\"");
  if (!std::holds_alternative<std::string>(saved)) return std::nullopt;
  const std::string key = std::get<std::string>(saved);
  std::printf("   archive key %s\n", key.c_str());
  load_and_continue(vault, anthropic, conversation, key);

  const std::size_t files = files_in(place.store);
  auto again = vault->save(conversation.messages, "chat-42");
  expect(std::holds_alternative<std::string>(again) && std::get<std::string>(again) == key &&
             files_in(place.store) == files,
         "saving it again gives the same key and writes nothing");
  expect(refused(vault->load(key, "chat-43")), "another record scope cannot load it");
  return key;
}

void flip_a_byte(const Store& place, const ArchivePtr& vault, const std::string& key) {
  const std::string original = read_bytes(place.record(key));
  std::string flipped = original;
  flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x01);
  rewrite(place.record(key), flipped);
  expect(refused(vault->load(key, "chat-42")), "one flipped byte in the record file");
  rewrite(place.record(key), original);
}

// swap_records puts the record of `key` under the name of a shorter conversation's.
void swap_records(const Store& place, const ArchivePtr& vault, const Conversation& conversation,
                  const std::string& key) {
  const Messages first_two(conversation.messages.begin(), conversation.messages.begin() + 2);
  auto shorter = vault->save(first_two, "chat-42");
  if (!std::holds_alternative<std::string>(shorter)) return;
  const std::string& other_key = std::get<std::string>(shorter);
  const std::string other_bytes = read_bytes(place.record(other_key));
  rewrite(place.record(other_key), read_bytes(place.record(key)));
  expect(refused(vault->load(other_key, "chat-42")), "a record put under another record's name");
  rewrite(place.record(other_key), other_bytes);
}

void tamper(const Store& place, const ArchivePtr& vault,
            const zu::descriptor::ValidatedDescriptor& anthropic,
            const Conversation& conversation, const std::string& key) {
  heading("Tampering: each must be refused");
  flip_a_byte(place, vault, key);
  swap_records(place, vault, conversation, key);

  fs::copy_file(place.key_file(), place.keys / "copied.key");
  expect(refused(place.open(anthropic, place.keys / "copied.key", place.owner)),
         "the key file copied to another path");
  fs::remove(place.keys / "copied.key");
  expect(refused(place.open(anthropic, place.key_file(), "another-user")),
         "the store opened under another owner scope");

  auto reopened = place.open(anthropic, place.key_file(), place.owner);
  expect(std::holds_alternative<ArchivePtr>(reopened) &&
             std::holds_alternative<Messages>(std::get<ArchivePtr>(reopened)->load(key, "chat-42")),
         "after all that, the untouched store opens again and the conversation loads");
}

void archive(const fs::path& home, const zu::descriptor::ValidatedDescriptor& anthropic,
             const Conversation& conversation) {
  heading("The archive");
  const Store place{home / "store", home / "keys"};
  const ArchivePtr vault = provision(place, anthropic);
  if (!vault) return;
  const std::optional<std::string> key = save_and_load(place, vault, anthropic, conversation);
  if (key) tamper(place, vault, anthropic, conversation, *key);
}

// Workspace is the demo's private directory: fresh and removed at exit, or kept.
class Workspace {
 public:
  Workspace(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--keep") {
      path_ = fs::absolute(argv[2]);
      keep_ = true;
    } else if (argc != 1) {
      throw std::invalid_argument("usage: zu_demo [--keep DIR]");
    } else {
      std::random_device entropy;
      path_ = fs::temp_directory_path() / ("zu-demo-" + std::to_string(entropy()));
    }
    if (!fs::create_directory(path_)) throw std::runtime_error(path_.string() + " exists already");
    fs::permissions(path_, fs::perms::owner_all);
  }
  ~Workspace() {
    std::error_code ignored;
    if (!keep_) fs::remove_all(path_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  bool keep_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  try {
    const Workspace home(argc, argv);
    std::printf("zu demo: one conversation, from the first question to a tamper-evident archive\n");
    const auto anthropic = provider("anthropic.messages", "demo-anthropic", "/v1/messages");
    const Conversation conversation = talk(anthropic);
    archive(home.path(), anthropic, conversation);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zu_demo: %s\n", e.what());
    return 2;
  }
  std::printf("\n%d of %d expectations held.\n", g_checked - g_failed, g_checked);
  return g_failed == 0 ? 0 : 1;
}
