// The shape a request asks the model's answer to take.
//
//   zu::ResponseFormat format{.type = zu::ResponseFormatType::json_schema,
//                             .name = "forecast",
//                             .schema = schema_document,
//                             .strict = true};
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zu/json/document.hpp"

namespace zu {

// ResponseFormatType is the kind of answer asked for.
enum class ResponseFormatType : std::uint32_t {
  text = 0,         // free text
  json_object = 1,  // any JSON object
  json_schema = 2,  // JSON that follows `schema`
};

// ResponseFormat asks for an answer of a given kind. A plain aggregate whose member
// order is part of the configuration digest.
struct ResponseFormat {
  ResponseFormatType type = ResponseFormatType::text;
  // name and description label the schema for the model; empty when unused.
  std::string name{};
  std::string description{};
  // (nullable) schema is the JSON Schema the answer must follow.
  std::shared_ptr<const json::Document> schema{};
  // strict asks the provider to enforce the schema exactly.
  std::optional<bool> strict{};
};

}  // namespace zu
