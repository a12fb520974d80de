// Requests of the "openai.chat" wire family: chat completions over a list of messages.
//
//   zu::chat::Request request{.model = "chat-large"};
//   request.messages = history;  // or, for raw chat input, request.inputs
//   request.tools.push_back({.name = "get_weather", .description = "Weather by city",
//                            .parameters = schema});
//   auto context = zu::CodecAccess::context(descriptor, request, choices, false);
//
// A request carries its history either as provider-neutral messages (`messages`) or, as
// chat codecs often receive it, as raw input messages (`inputs`). The context binds
// `messages` when it is not empty and `inputs` otherwise; both forms of one
// conversation bind to the same prefix. Every other member is configuration: changing
// any of them makes earlier native content unfit to be sent back.
//
// Thread safety: the records are plain values without synchronisation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zu/content_block.hpp"
#include "zu/image.hpp"
#include "zu/json/document.hpp"
#include "zu/message.hpp"
#include "zu/response_format.hpp"
#include "zu/routing.hpp"

namespace zu::chat {

// InputMessage is one chat message in the wire family's own form: a text, the tool
// calls an assistant made, the call a tool message answers, and attached images. A
// plain aggregate.
//
// It binds as the message whose blocks are, in order, the images, the text (present
// when `content` is not empty or there are no images) and the tool calls; a message of
// role `tool` binds as one ToolResult answering `tool_call_id` with `content`, and its
// images and tool calls are not part of it.
struct InputMessage {
  Role role = Role::user;
  std::string content{};
  std::vector<ToolCall> tool_calls{};
  // tool_call_id names the call a `tool` message answers.
  std::string tool_call_id{};
  std::vector<Image> images{};
};

// ToolDefinition declares a function the model may call.
struct ToolDefinition {
  std::string name{};
  std::string description{};
  // (nullable) parameters is the JSON Schema of the call's arguments.
  std::shared_ptr<const json::Document> parameters{};
};

// ReasoningOptions asks a reasoning model for a certain amount of reasoning.
struct ReasoningOptions {
  // effort is the provider's level name ("low", "medium", "high").
  std::optional<std::string> effort{};
  // max_tokens caps the tokens spent on reasoning.
  std::optional<std::uint64_t> max_tokens{};
  // exclude asks for the reasoning to be used but not returned.
  std::optional<bool> exclude{};
  // enabled turns reasoning on or off where the model makes it optional.
  std::optional<bool> enabled{};
};

// Request is one chat request. A plain aggregate; the member order is fixed.
struct Request {
  std::string model{};
  // inputs is the history as raw input messages, bound only when `messages` is empty.
  std::vector<InputMessage> inputs{};
  std::vector<ToolDefinition> tools{};
  // messages is the history, oldest first.
  std::vector<Message> messages{};
  std::optional<OpenRouterRouting> routing{};
  std::optional<ResponseFormat> response_format{};
  std::optional<ReasoningOptions> reasoning{};
  // logprobs asks for the log probabilities of the output tokens.
  std::optional<bool> logprobs{};
  // include_usage asks a streamed answer to end with a usage report.
  std::optional<bool> include_usage{};
  // stop lists texts at which the model stops writing.
  std::vector<std::string> stop{};
};

}  // namespace zu::chat
