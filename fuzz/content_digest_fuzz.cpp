// Input: JSON text, used as the native document of a message whose content digest is
// taken under tight limits. Repeated member names are allowed, as in provider JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <variant>

#include "native/content_digest.hpp"
#include "zu/core.hpp"
#include "zu/json.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = zu::json::parse(text, {.max_bytes = 1u << 16, .max_depth = 256});
  std::shared_ptr<const zu::json::Document> document;
  if (auto* ok = std::get_if<zu::json::Document>(&parsed)) {
    document = std::make_shared<const zu::json::Document>(std::move(*ok));
  } else if (auto& error = std::get<zu::json::ParseError>(parsed);
             error.code == zu::json::ParseErrorCode::duplicate_member) {
    document = std::make_shared<const zu::json::Document>(std::move(error.document));
  } else {
    return 0;
  }

  zu::Message message;
  message.id = "fuzz";
  message.content.push_back(zu::Opaque{"item", document});
  message.native = document;
  const zu::descriptor::CodecResources resources{.max_digest_bytes = 1u << 18,
                                                 .max_json_depth = 64,
                                                 .max_json_entries = 512,
                                                 .max_message_count = 0,
                                                 .max_block_count = 0};
  const zu::digest::ContentLabels labels{"zu.fuzz.content.v1", "zu.fuzz.output.v1"};
  zu::Digest first{}, second{};
  const bool ok = zu::digest::content_digest(message, labels, resources, first);
  // The digest is a function of its input: a second run must agree.
  if (ok != zu::digest::content_digest(message, labels, resources, second)) std::abort();
  if (ok && first != second) std::abort();
  return 0;
}
