// Input: JSON text, as a model or a prompt injection could put it into a conversation.
//
// Whatever the reader accepts is placed everywhere a reply can carry JSON: the reply's
// native document, a tool call's native document and arguments, a server tool result
// and an opaque block. The reply gets a real replay token, whose content digest covers
// all of them. The record that save would write must load back: decoding it succeeds,
// the token is still valid for the message read back, and encoding what was read gives
// the same bytes, hence the same archive key. A document with repeated member names,
// which a tool call's arguments may not hold, must make the encoding refuse instead.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "archive/codec.hpp"
#include "archive/state.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/core.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kLargestInput = 1u << 14;
constexpr std::string_view kScope = "fuzz-scope";

const zu::descriptor::ValidatedDescriptor& descriptor() {
  static const auto* made = new zu::descriptor::ValidatedDescriptor(
      {.revision = 1,
       .id = "fuzz",
       .family = "anthropic.messages",
       .base_url = "https://api.example.test",
       .paths = {"/v1/send", "/v1/stream"},
       .stop_mappings = {{"end_turn", zu::StopKind::turn_ended}},
       .policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
           "fuzz.policy", zu::descriptor::CodecResources{.max_digest_bytes = 1u << 22,
                                                         .max_json_depth = 64,
                                                         .max_json_entries = 1u << 15,
                                                         .max_message_count = 16,
                                                         .max_block_count = 64})});
  return *made;
}

const zu::NativeArchive::State& state() {
  static const auto* made = new zu::NativeArchive::State(
      "/fuzz/store", "/fuzz/key", "fuzz-owner", descriptor(),
      {.max_record_bytes = 1u << 22, .max_messages = 16, .max_blocks = 64, .max_json_depth = 64,
       .max_records = 16, .max_store_bytes = 1u << 26});
  return *made;
}

// accepted returns the document of `text` as the archive's reader would accept it,
// repeated member names included, and tells whether it repeats one.
std::shared_ptr<const zu::json::Document> accepted(std::string_view text, bool& repeated) {
  auto parsed = zu::json::parse(text, {.max_bytes = text.size(), .max_depth = 64});
  repeated = false;
  if (auto* document = std::get_if<zu::json::Document>(&parsed))
    return std::make_shared<const zu::json::Document>(std::move(*document));
  auto& error = std::get<zu::json::ParseError>(parsed);
  if (error.code != zu::json::ParseErrorCode::duplicate_member) return nullptr;
  repeated = true;
  return std::make_shared<const zu::json::Document>(std::move(error.document));
}

std::optional<std::string> encoded(const std::vector<zu::Message>& messages) {
  try {
    return zu::NativeArchive::Codec::encode(state(), messages, kScope);
  } catch (const zu::archive_fs::Rejected&) {
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kLargestInput) return 0;
  bool repeated = false;
  const auto document =
      accepted({reinterpret_cast<const char*>(data), size}, repeated);
  if (document == nullptr) return 0;

  std::vector<zu::Message> history{
      zu::Message{"q", zu::Role::user, {zu::Text{"question"}}, nullptr, nullptr}};
  zu::messages::Request request{.model = "fuzz-model"};
  request.messages = history;
  const auto context = zu::CodecAccess::context(descriptor(), request, {}, false);

  zu::Message reply{"r", zu::Role::assistant, {}, nullptr, document};
  reply.content = {
      zu::Text{"answer"},
      zu::ToolCall{"c1", "tool", zu::ToolCallKind::client, repeated ? nullptr : document, "",
                   document},
      zu::ServerToolResult{"c2", "search", document},
      zu::Opaque{"item", document},
  };
  const zu::StopReason stop{zu::StopKind::turn_ended, {}};
  reply.replay = zu::CodecAccess::replay(context, reply, &stop, true);
  check(reply.replay->valid);
  history.push_back(std::move(reply));

  const std::optional<std::string> record = encoded(history);
  check(record.has_value());
  std::vector<zu::Message> back;
  try {
    back = zu::NativeArchive::Codec::decode(state(), *record, kScope);
  } catch (const zu::archive_fs::Rejected&) {
    std::abort();  // saved, but would not load
  }
  check(back.size() == 2 && back[1].replay != nullptr && back[1].replay->valid);
  check(back[1].replay->content_digest == history[1].replay->content_digest);
  check(zu::CodecAccess::archive_valid(*back[1].replay, back[1]));
  check(encoded(back) == record);

  // Arguments with a repeated member name cannot be read back, so they are never saved.
  zu::Message call{"c", zu::Role::assistant,
                   {zu::ToolCall{"c3", "tool", zu::ToolCallKind::client, document, "", nullptr}},
                   nullptr, nullptr};
  check(encoded({call}).has_value() != repeated);
  return 0;
}
