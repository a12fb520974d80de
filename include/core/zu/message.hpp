// Messages: one turn of a conversation in provider-neutral form.
//
//   zu::Message question{.role = zu::Role::user,
//                        .content = {zu::Text{"What is the weather in Oslo?"}}};
//   std::vector<zu::Message> history{std::move(question)};
//
// A Message is a plain aggregate that owns its blocks and shares its JSON payloads and
// replay token. Copies share them; a moved-from Message has an empty id and content and
// null pointers, and keeps its role.
//
// Thread safety: a Message is a value without synchronisation. The objects it shares
// (documents, replay tokens) are immutable and may be read from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zu/content_block.hpp"
#include "zu/json/document.hpp"

namespace zu {

class NativeReplay;

// Role says who speaks in a message. Stored messages may carry any value from 0 to 4.
enum class Role : std::int32_t {
  system = 0,     // instructions from the application
  developer = 1,  // instructions from the developer, below the system's
  user = 2,       // the user's input
  assistant = 3,  // model output; the only role that may carry native replay state
  tool = 4,       // tool output given to the model
};

// Message is one message of a conversation. The member order is part of the digest and
// archive formats.
struct Message {
  // id is the message's identifier as the provider gave it, or empty.
  std::string id{};
  Role role = Role::assistant;
  // content holds the blocks in order; their order matters to digests.
  std::vector<ContentBlock> content{};
  // (nullable) replay is the native replay token issued with this message.
  std::shared_ptr<const NativeReplay> replay{};
  // (nullable) native is the provider's own JSON of the message, for the families that
  // send a reply's items back as the provider gave them. What a later history admits:
  //  - "openai.responses", "google.generate", "google.interactions": the reply's output
  //    items as a JSON array, required on a message with a replay token and refused on
  //    one without;
  //  - "anthropic.messages": null, always. This family's native material travels in the
  //    Thinking and RedactedThinking blocks; a message with `native` is refused;
  //  - "openai.chat": anything, or null.
  // It is part of the message's content digest.
  std::shared_ptr<const json::Document> native{};
};

}  // namespace zu
