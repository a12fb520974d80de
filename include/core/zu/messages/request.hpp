// Requests of the "anthropic.messages" wire family.
//
//   zu::messages::Request request{.model = "msg-large", .system = "Answer briefly."};
//   request.messages = history;
//   request.thinking_mode = zu::messages::ThinkingMode::enabled;
//   auto context = zu::CodecAccess::context(descriptor, request, choices, true);
//
// Every member other than `messages` is configuration: changing any of them makes
// earlier native content unfit to be sent back.
//
// Thread safety: the records are plain values without synchronisation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zu/json/document.hpp"
#include "zu/message.hpp"
#include "zu/routing.hpp"

namespace zu::messages {

// ThinkingMode says whether the model reasons before it answers.
enum class ThinkingMode : std::uint32_t {
  disabled = 0,
  enabled = 1,
  adaptive = 2,  // the model decides per turn
};

// OutputEffort trades the thoroughness of the answer against its cost.
enum class OutputEffort : std::uint32_t {
  low = 0,
  medium = 1,
  high = 2,
};

// CacheTtl is how long the provider keeps a cached prompt prefix.
enum class CacheTtl : std::uint32_t {
  five_minutes = 0,
  one_hour = 1,
};

// CacheControl asks the provider to cache the request's prompt prefix.
struct CacheControl {
  // ttl is the lifetime of the cache entry; absent takes the provider's default.
  std::optional<CacheTtl> ttl{};
};

// ToolDefinition declares a tool the model may use: a function the client runs, or,
// with a `type`, a tool the provider runs itself.
struct ToolDefinition {
  std::string name{};
  std::string description{};
  // (nullable) parameters is the JSON Schema of the call's arguments.
  std::shared_ptr<const json::Document> parameters{};
  // type is the provider's name of a built-in tool, or empty for a client tool.
  std::string type{};
  // max_uses caps how often the provider may use a built-in tool in one request.
  std::optional<std::uint64_t> max_uses{};
};

// Request is one messages request. A plain aggregate; the member order is fixed.
struct Request {
  std::string model{};
  std::string system{};
  // user_id is the host's opaque identifier of the end user.
  std::string user_id{};
  // messages is the history, oldest first.
  std::vector<Message> messages{};
  std::vector<ToolDefinition> tools{};
  std::optional<ThinkingMode> thinking_mode{};
  std::optional<OutputEffort> output_effort{};
  std::optional<CacheControl> cache_control{};
  std::optional<OpenRouterRouting> routing{};
};

}  // namespace zu::messages
