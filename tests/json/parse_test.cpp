#include <gtest/gtest.h>

#include <zu/json.hpp>

namespace {

TEST(Parse, AcceptsAStrictDocument) {
  auto parsed = zu::json::parse("[1]", {.max_bytes = 3, .max_depth = 1});
  ASSERT_TRUE(std::holds_alternative<zu::json::Document>(parsed));
}

}  // namespace
