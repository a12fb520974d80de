// Requests of the "google.generate" wire family: content generation over a list of
// turns.
//
//   zu::gemini::Request request{.model = "gen-pro",
//                               .system_instruction = "Answer briefly."};
//   request.messages = history;
//   request.history_mode = zu::gemini::HistoryMode::allow_plain_assistant;
//   auto context = zu::CodecAccess::context(descriptor, request, choices, true);
//
// Every member other than `messages` and `history_mode` is configuration: changing any
// of them makes earlier native content unfit to be sent back. The declared tool names
// are kept by the context (`client_tool_declared`).
//
// Thread safety: the records are plain values without synchronisation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zu/json/document.hpp"
#include "zu/message.hpp"

namespace zu::gemini {

// HistoryMode says which assistant turns may stand in a history without native state.
enum class HistoryMode : std::uint32_t {
  // strict admits an assistant turn only with the native replay token it was issued.
  strict = 0,
  // allow_plain_assistant also admits assistant turns written by the host, when they
  // hold nothing but texts and plain client tool calls.
  allow_plain_assistant = 1,
};

// SafetyCategory is a class of harmful content a safety setting applies to.
enum class SafetyCategory : std::uint32_t {
  unspecified = 0,
  harassment = 1,
  hate = 2,
  sexual = 3,
  dangerous = 4,
};

// SafetyThreshold is how likely harmful content must be before it is blocked.
enum class SafetyThreshold : std::uint32_t {
  unspecified = 0,
  block_low_and_above = 1,
  block_medium_and_above = 2,
  block_high_only = 3,
  block_none = 4,
};

// SafetySetting sets the blocking threshold of one category.
struct SafetySetting {
  SafetyCategory category = SafetyCategory::unspecified;
  SafetyThreshold threshold = SafetyThreshold::unspecified;
};

// ToolDefinition declares a function the model may call.
struct ToolDefinition {
  std::string name{};
  std::string description{};
  // (nullable) parameters is the JSON Schema of the call's arguments.
  std::shared_ptr<const json::Document> parameters{};
};

// Request is one generation request. A plain aggregate; the member order is fixed.
struct Request {
  std::string model{};
  std::string system_instruction{};
  // cached_content names provider-side cached content the request builds on.
  std::string cached_content{};
  // messages is the history, oldest first.
  std::vector<Message> messages{};
  std::vector<ToolDefinition> tools{};
  HistoryMode history_mode = HistoryMode::strict;
  std::vector<SafetySetting> safety_settings{};
};

}  // namespace zu::gemini
