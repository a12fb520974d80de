// Structural equality: number classes, member order, and nesting.
#include <gtest/gtest.h>

#include <string>

#include <zu/json.hpp>

#include "json_helpers.hpp"

namespace {

using zu::testing::parse_document;

bool same(const char* a, const char* b) {
  const auto x = parse_document(a);
  const auto y = parse_document(b);
  return zu::json::equal(x.root(), y.root());
}

TEST(Equal, ObjectsIgnoreMemberOrderArraysDoNot) {
  EXPECT_TRUE(same(R"({"a":1,"b":[1,2]})", R"({"b":[1,2],"a":1})"));
  EXPECT_FALSE(same("[1,2]", "[2,1]"));
  EXPECT_FALSE(same(R"({"a":1})", R"({"a":1,"b":2})"));
  EXPECT_FALSE(same(R"({"a":1,"b":2})", R"({"a":1,"c":2})"));
  EXPECT_FALSE(same("[[1]]", "[[1,1]]"));
  EXPECT_FALSE(same("[]", "{}"));
  EXPECT_TRUE(same(R"([{"k":[{"z":null}]}])", R"([{"k":[{"z":null}]}])"));
  EXPECT_FALSE(same(R"([{"k":[{"z":null}]}])", R"([{"k":[{"z":false}]}])"));
}

TEST(Equal, NumberClasses) {
  EXPECT_FALSE(same("1", "1.0"));
  EXPECT_TRUE(same("1.0", "1.0"));
  EXPECT_FALSE(same("0.0", "-0.0"));
  EXPECT_TRUE(same("5", "5"));
  EXPECT_FALSE(same("-1", "18446744073709551615"));
  EXPECT_TRUE(same("-5", "-5"));
}

TEST(Equal, ScalarsInsideContainersFollowTheSameRules) {
  EXPECT_FALSE(same("[1]", "[1.0]"));
  EXPECT_FALSE(same(R"({"a":0.0})", R"({"a":-0.0})"));
  EXPECT_FALSE(same(R"({"a":[-1]})", R"({"a":[18446744073709551615]})"));
  EXPECT_TRUE(same(R"({"a":[-0]})", R"({"a":[0]})"));
  EXPECT_TRUE(same(R"([{"a":"x\u0000"}])", R"([{"a":"x\u0000"}])"));
  EXPECT_FALSE(same(R"([{"a":"x"}])", R"([{"a":"y"}])"));
  EXPECT_FALSE(same(R"([{"a":1}])", R"([{"a":[1]}])"));
}

TEST(Equal, SignedAndUnsignedIntegersOfTheSameValue) {
  // The reader stores "-0" as a signed integer; its value equals the unsigned 0.
  const auto zero = parse_document("0");
  const auto minus_zero = parse_document("-0");
  ASSERT_TRUE(minus_zero.root().is_int());
  ASSERT_FALSE(minus_zero.root().is_uint());
  EXPECT_TRUE(zu::json::equal(zero.root(), minus_zero.root()));
  EXPECT_TRUE(zu::json::equal(minus_zero.root(), zero.root()));
}

TEST(Equal, ScalarsAndStrings) {
  EXPECT_TRUE(same("true", "true"));
  EXPECT_FALSE(same("true", "false"));
  EXPECT_TRUE(same("null", "null"));
  EXPECT_FALSE(same("null", "false"));
  EXPECT_TRUE(same(R"("a\u0000b")", R"("a\u0000b")"));
  EXPECT_FALSE(same(R"("a\u0000b")", R"("a\u0000c")"));
  EXPECT_FALSE(same(R"("ab")", R"("abc")"));
  EXPECT_TRUE(same(R"("\u00e9")", "\"\xC3\xA9\""));
}

TEST(Equal, InvalidValuesAreNeverEqual) {
  EXPECT_FALSE(zu::json::equal(zu::json::Value{}, zu::json::Value{}));
  const auto doc = parse_document("1");
  EXPECT_FALSE(zu::json::equal(doc.root(), zu::json::Value{}));
  EXPECT_FALSE(zu::json::equal(zu::json::Value{}, doc.root()));
}

TEST(Equal, DeepNestingIsComparedWithoutRecursion) {
  constexpr std::size_t kDepth = 100000;
  const std::string text = std::string(kDepth, '[') + "7" + std::string(kDepth, ']');
  const zu::json::Limits limits{.max_bytes = text.size(), .max_depth = kDepth};
  const auto a = parse_document(text, limits);
  const auto b = parse_document(text, limits);
  EXPECT_TRUE(zu::json::equal(a.root(), b.root()));
}

}  // namespace
