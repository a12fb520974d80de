// Writing the host JSON type: member handles and copy on write.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/json.hpp>

namespace {

using vantrel::json;

TEST(JsonWrite, AssigningToAHandleWritesTheMember) {
  json j = json::object();
  j["name"] = json("search");
  j["flag"] = json(true);
  j["name"] = json("replaced");
  EXPECT_EQ(j.dump(), R"({"name":"replaced","flag":true})");
}

TEST(JsonWrite, NullBecomesAnObjectAndOtherTypesRefuseKeys) {
  json j;
  j["a"] = json("x");
  EXPECT_EQ(j.dump(), R"({"a":"x"})");
  json s("text");
  EXPECT_THROW(s["a"], std::invalid_argument);
  EXPECT_EQ(s.dump(), R"("text")");
}

TEST(JsonWrite, ChainedHandlesWriteIntoTheOutermostValue) {
  json j = json::object();
  j["a"]["b"] = json("deep");
  j["list"] = json::parse("[1,{}]");
  j["list"][std::size_t{1}]["c"] = json(false);
  EXPECT_EQ(j.dump(), R"({"a":{"b":"deep"},"list":[1,{"c":false}]})");
}

TEST(JsonWrite, IndexHandlesNeverGrowTheArray) {
  json j = json::parse("[1]");
  j[std::size_t{0}] = json("one");
  EXPECT_EQ(j.dump(), R"(["one"])");
  EXPECT_THROW(j[std::size_t{1}], std::out_of_range);
  EXPECT_THROW(j.at(std::size_t{5}), std::out_of_range);
  json object = json::object();
  EXPECT_THROW(object[std::size_t{0}], std::out_of_range);
}

TEST(JsonWrite, CopiesAreIndependentInBothDirections) {
  json original = json::parse(R"({"a":{"b":1}})");
  json copy = original;
  copy["a"]["b"] = json("changed");
  EXPECT_EQ(original.dump(), R"({"a":{"b":1}})");
  EXPECT_EQ(copy.dump(), R"({"a":{"b":"changed"}})");

  json second = original;
  original["new"] = json(true);
  EXPECT_EQ(second.dump(), R"({"a":{"b":1}})");
}

TEST(JsonWrite, AReadMemberIsIndependentOfItsContainer) {
  const json container = json::parse(R"({"inner":{"x":1}})");
  json inner = container["inner"];
  inner["y"] = json(true);
  EXPECT_EQ(container.dump(), R"({"inner":{"x":1}})");
  EXPECT_EQ(inner.dump(), R"({"x":1,"y":true})");
}

TEST(JsonWrite, AssigningAMemberOfTheSameValueCopiesIt) {
  json j = json::parse(R"({"a":{"k":[1,2]}})");
  j["b"] = j["a"];
  j["a"]["k"] = json("gone");
  EXPECT_EQ(j.dump(), R"({"a":{"k":"gone"},"b":{"k":[1,2]}})");
  j["b"] = j["b"]["k"];
  EXPECT_EQ(j["b"].dump(), "[1,2]");
}

TEST(JsonWrite, LvalueAssignmentReplacesOnlyTheVariable) {
  json j = json::parse(R"({"a":1})");
  json kept = j["a"];
  kept = json("elsewhere");
  EXPECT_EQ(j.dump(), R"({"a":1})");
  json plain = json::parse("[1]");
  json other = plain;
  std::move(plain) = json(true);  // not a handle: replaces, never writes through
  EXPECT_EQ(other.dump(), "[1]");
  EXPECT_TRUE(plain.get<bool>());
}

TEST(JsonWrite, MovedFromValuesAreNull) {
  json j = json::parse(R"({"a":1})");
  json taken = std::move(j);
  EXPECT_TRUE(j.is_null());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(j.dump(), "null");
  EXPECT_EQ(taken.dump(), R"({"a":1})");
}

}  // namespace
