// Requests of the "google.interactions" wire family: interactions that may continue a
// previous interaction kept by the provider.
//
//   zu::interactions::Request request{.model = "gen-pro",
//                                     .system_instruction = "Answer briefly.",
//                                     .previous_interaction_id = "int_41"};
//   request.messages = history;
//   auto context = zu::CodecAccess::context(descriptor, request, choices, false);
//
// Every member other than `messages` is configuration, the previous interaction
// included: changing any of them makes earlier native content unfit to be sent back.
// The declared tool names are kept by the context (`client_tool_declared`).
//
// Thread safety: the records are plain values without synchronisation.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zu/json/document.hpp"
#include "zu/message.hpp"

namespace zu::interactions {

// ToolDefinition declares a function the model may call.
struct ToolDefinition {
  std::string name{};
  std::string description{};
  // (nullable) parameters is the JSON Schema of the call's arguments.
  std::shared_ptr<const json::Document> parameters{};
};

// Request is one interaction request. A plain aggregate; the member order is fixed.
struct Request {
  std::string model{};
  std::string system_instruction{};
  // previous_interaction_id names the provider-side interaction this one continues, or
  // is empty.
  std::string previous_interaction_id{};
  // messages is the history, oldest first.
  std::vector<Message> messages{};
  std::vector<ToolDefinition> tools{};
};

}  // namespace zu::interactions
