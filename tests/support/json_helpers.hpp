// Small helpers shared by the suites that build JSON documents from literal text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <zu/json.hpp>

namespace zu::testing {

inline constexpr zu::json::Limits kRoomyLimits{.max_bytes = 1u << 24, .max_depth = 256};

// parse_document parses text that the test expects to be accepted.
inline zu::json::Document parse_document(std::string_view text,
                                         zu::json::Limits limits = kRoomyLimits) {
  auto parsed = zu::json::parse(text, limits);
  if (auto* error = std::get_if<zu::json::ParseError>(&parsed)) {
    ADD_FAILURE() << "refused: " << error->message << " " << error->pointer << " for "
                  << text.substr(0, 200);
    return {};
  }
  return std::get<zu::json::Document>(std::move(parsed));
}

// parse_error parses text that the test expects to be refused.
inline zu::json::ParseError parse_error(std::string_view text,
                                        zu::json::Limits limits = kRoomyLimits) {
  auto parsed = zu::json::parse(text, limits);
  if (!std::holds_alternative<zu::json::ParseError>(parsed)) {
    ADD_FAILURE() << "accepted: " << text.substr(0, 200);
    return {};
  }
  return std::get<zu::json::ParseError>(std::move(parsed));
}

}  // namespace zu::testing
