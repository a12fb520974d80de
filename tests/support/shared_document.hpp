// Test helper: a parsed JSON document as the content model holds it.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <zu/json.hpp>

namespace zu_test {

// shared_document parses `text` under roomy limits into a shared immutable Document,
// the way a codec fills a block. A document whose only fault is a repeated member name
// is kept, as provider JSON is. Any other fault throws, which fails the calling test.
inline std::shared_ptr<const zu::json::Document> shared_document(std::string_view text) {
  auto parsed = zu::json::parse(text, {.max_bytes = 1u << 26, .max_depth = 1u << 20});
  if (auto* document = std::get_if<zu::json::Document>(&parsed))
    return std::make_shared<const zu::json::Document>(std::move(*document));
  auto& error = std::get<zu::json::ParseError>(parsed);
  if (error.code == zu::json::ParseErrorCode::duplicate_member)
    return std::make_shared<const zu::json::Document>(std::move(error.document));
  throw std::invalid_argument("test JSON does not parse: " + error.message + ": " +
                              std::string(text));
}

}  // namespace zu_test
