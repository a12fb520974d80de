// Requests of the "openai.responses" wire family, which may continue a previous
// response that the provider kept.
//
//   zu::responses::Request request{.model = "resp-large", .instructions = "Be brief."};
//   request.input = new_messages;
//   request.previous_response_id = last_reply.id;      // continue from the provider's copy
//   request.previous_messages = {last_reply};          // with the reply it returned
//   auto context = zu::CodecAccess::context(descriptor, request, choices, true);
//
// Without `previous_response_id` the request carries its whole history in `input`.
// With it, `previous_messages` is what the request continues from (normally the
// previous reply alone) and `input` holds only what is new. Every other member is
// configuration: changing any of them makes earlier native content unfit to be sent
// back.
//
// Thread safety: the records are plain values without synchronisation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "zu/json/document.hpp"
#include "zu/message.hpp"
#include "zu/response_format.hpp"
#include "zu/routing.hpp"

namespace zu::responses {

// Verbosity asks for shorter or longer answers.
enum class Verbosity : std::uint32_t {
  low = 0,
  medium = 1,
  high = 2,
};

// Truncation says what the provider does when the conversation outgrows the model's
// context window.
enum class Truncation : std::uint32_t {
  disabled = 0,   // the request fails
  automatic = 1,  // the provider drops the oldest items
};

// Include names extra output the response should contain.
enum class Include : std::uint32_t {
  file_search_results = 0,
  web_search_sources = 1,
  code_outputs = 2,
  reasoning_encrypted_content = 3,
  output_logprobs = 4,
  input_image_urls = 5,
};

// ---- Built-in tools: tools the provider runs itself ----

// WebSearchTool lets the model search the web.
struct WebSearchTool {};

// ImageGenerationTool lets the model make images.
struct ImageGenerationTool {
  std::optional<std::string> quality{};
  // size is the image size as the provider names it ("1024x1024").
  std::optional<std::string> size{};
};

// FileSearchTool lets the model search the provider-side file stores named here.
struct FileSearchTool {
  std::vector<std::string> store_ids{};
};

// ToolSearchTool lets the model look up tools that were declared with
// `defer_loading`.
struct ToolSearchTool {};

// SkillReference names one provider-side skill.
struct SkillReference {
  std::string id{};
};

// ShellTool lets the model run commands in a provider-side shell with these skills.
struct ShellTool {
  std::vector<SkillReference> skills{};
};

// BuiltinTool is one built-in tool. The alternative's index is part of the
// configuration digest.
using BuiltinTool = std::variant<WebSearchTool,        // 0
                                 ImageGenerationTool,  // 1
                                 FileSearchTool,       // 2
                                 ToolSearchTool,       // 3
                                 ShellTool>;           // 4

// ToolDefinition declares a function the model may call.
struct ToolDefinition {
  std::string name{};
  std::string description{};
  // (nullable) parameters is the JSON Schema of the call's arguments.
  std::shared_ptr<const json::Document> parameters{};
  // strict asks for arguments that follow `parameters` exactly. When absent, the
  // descriptor policy's `tool_flag_default` applies, and a tool that leaves it unset is
  // the same tool as one that sets it to that default.
  std::optional<bool> strict{};
  // defer_loading keeps the tool out of the model's view until a tool search finds it.
  // Absent is the same as false.
  std::optional<bool> defer_loading{};
};

// Request is one responses request. A plain aggregate; the member order is fixed.
struct Request {
  std::string model{};
  std::string instructions{};
  // prompt_cache_key groups requests that share a prompt prefix in the provider's cache.
  std::string prompt_cache_key{};
  // input is the history (without a cursor) or the new messages (with one).
  std::vector<Message> input{};
  std::vector<ToolDefinition> tools{};
  // background runs the response asynchronously on the provider. Absent is the same as
  // false.
  std::optional<bool> background{};
  std::optional<ResponseFormat> response_format{};
  std::optional<OpenRouterRouting> routing{};
  std::vector<BuiltinTool> builtin_tools{};
  // max_tool_calls caps the built-in tool calls of one response.
  std::optional<std::uint64_t> max_tool_calls{};
  // previous_response_id is the cursor: the provider-side response this request
  // continues, which must be the id of the last of `previous_messages`.
  std::optional<std::string> previous_response_id{};
  // previous_messages is what the cursor continues from; empty when the caller has
  // nothing of it but the id.
  std::vector<Message> previous_messages{};
  // stream_obfuscation pads streamed events against length side channels.
  std::optional<bool> stream_obfuscation{};
  std::optional<Verbosity> verbosity{};
  std::optional<Truncation> truncation{};
  std::optional<std::vector<Include>> include{};
};

}  // namespace zu::responses
