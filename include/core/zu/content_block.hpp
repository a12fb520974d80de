// The twelve kinds of content block a message is made of.
//
// Every block is a plain aggregate: it owns its strings, lists and optionals and shares
// its JSON and image payloads, which are immutable once made. Copying a block shares
// the payloads; moving it leaves the source's strings and lists empty and its payload
// pointers null.
//
//   auto arguments = std::make_shared<const zu::json::Document>(
//       std::get<zu::json::Document>(zu::json::parse(R"({"q":"weather"})", {256, 8})));
//   zu::ContentBlock call = zu::ToolCall{.id = "call_1", .name = "search",
//                                        .arguments = arguments};
//
// Every member has a default member initialiser, `{}` where the type's own default is
// meant, so that designated initialisers may leave any member out without a
// missing-initialiser warning.
//
// WARNING: the order of the alternatives of ContentBlock and the order of each record's
// members are part of the digest and archive formats. They never change; new members
// or kinds need a new format version.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "zu/image.hpp"
#include "zu/json/document.hpp"

namespace zu {

// ToolCallKind says who executes a tool call.
enum class ToolCallKind : std::int32_t {
  client = 0,  // the client runs the tool and sends back a ToolResult
  server = 1,  // the provider runs the tool itself; a ServerToolResult answers it
  other = 2,   // a call of a third kind, kept and hashed like the others
};

// Text is plain text.
struct Text {
  std::string text{};
};

// Refusal is the model declining to answer; `detail` is the provider's further
// explanation, if any.
struct Refusal {
  std::string text{};
  std::string detail{};
};

// ToolCall is a tool call the model made.
struct ToolCall {
  std::string id{};
  std::string name{};
  ToolCallKind kind = ToolCallKind::client;
  // (nullable) arguments is the call's arguments, parsed with duplicate members refused.
  std::shared_ptr<const json::Document> arguments{};
  // input is the arguments as the provider streamed them, when it sent raw text.
  std::string input{};
  // (nullable) native is the provider's own JSON of the call, duplicates allowed.
  std::shared_ptr<const json::Document> native{};
};

// InvalidToolCall is a tool call that was not accepted, for instance because its
// arguments did not parse. It has no arguments; `error` and `error_code` say why.
struct InvalidToolCall {
  std::string id{};
  std::string name{};
  ToolCallKind kind = ToolCallKind::client;
  std::string error{};
  // error_code is a codec's reason code, 0 to 5.
  std::int32_t error_code = 5;
  std::string input{};
  // (nullable) native is the provider's own JSON of the call.
  std::shared_ptr<const json::Document> native{};
};

// Thinking is a model's visible reasoning, with the provider's signature over it.
struct Thinking {
  std::string text{};
  std::optional<std::string> signature{};
};

// RedactedThinking is reasoning the provider hands back only in encrypted form.
struct RedactedThinking {
  std::string data{};
};

// ServerToolResult is the provider's result of a server tool call.
struct ServerToolResult {
  std::string call_id{};
  std::string name{};
  // (nullable) content is the result as the provider's own JSON.
  std::shared_ptr<const json::Document> content{};
};

// ToolResultHostMetadata is what the host that ran a tool attached to its result. The
// core only keeps, hashes and archives it.
struct ToolResultHostMetadata {
  std::string label{};
  std::string note{};
  bool flag_a = false;
  bool flag_b = false;
};

// ToolResult is the output of a client tool call, given back to the model.
struct ToolResult {
  std::string call_id{};
  std::string content{};
  bool is_error = false;
  std::optional<ToolResultHostMetadata> host{};
};

// Reasoning is a reasoning item of a provider that keeps reasoning as separate items.
struct Reasoning {
  std::string id{};
  std::vector<std::string> summary{};
  std::optional<std::string> encrypted_content{};
  std::optional<std::string> status{};
  std::vector<std::string> content{};
};

// Opaque is a provider item the library does not model, kept as its JSON.
struct Opaque {
  std::string type{};
  // (nullable) payload is the item's JSON.
  std::shared_ptr<const json::Document> payload{};
};

// Thought is a reasoning summary with the provider's signature over it.
struct Thought {
  std::vector<std::string> summary{};
  std::optional<std::string> signature{};
};

// ContentBlock is one block of a message. The alternative's index, 0 to 11, is the
// block's kind in digests and archive records.
using ContentBlock = std::variant<Text,              // 0
                                  Refusal,           // 1
                                  ToolCall,          // 2
                                  InvalidToolCall,   // 3
                                  Thinking,          // 4
                                  RedactedThinking,  // 5
                                  ServerToolResult,  // 6
                                  ToolResult,        // 7
                                  Reasoning,         // 8
                                  Opaque,            // 9
                                  Image,             // 10
                                  Thought>;          // 11

}  // namespace zu
