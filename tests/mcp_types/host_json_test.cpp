// The vantrel::json members that vantrel_mcp_types compiles.
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <yyjson.h>

#include <vantrel/json.hpp>

namespace {

using vantrel::json;

TEST(HostJsonValue, ReadsTheMemberOrFallsBack) {
  const json j = json::parse(R"({"s":"text","b":true,"n":null,"o":{"k":1},"num":3})");
  EXPECT_EQ(j.value("s", std::string("d")), "text");
  EXPECT_EQ(j.value("s", "d"), "text");
  EXPECT_EQ(j.value("missing", "d"), "d");
  EXPECT_EQ(j.value("n", "d"), "d") << "a null member reads as the default";
  EXPECT_EQ(j.value("num", "d"), "d") << "a failed conversion reads as the default";
  EXPECT_EQ(j.value("b", "d"), "d");
  EXPECT_TRUE(j.value("b", false));
  EXPECT_TRUE(j.value("s", true));
  EXPECT_FALSE(j.value("missing", false));
  EXPECT_EQ(j.value("o", json::array()), json::parse(R"({"k":1})"));
  EXPECT_EQ(j.value("num", json::array()), json::parse("3")) << "json converts from anything";
  EXPECT_TRUE(j.value("n", json::array()).is_array());
  EXPECT_EQ(json::parse("[1]").value("s", "d"), "d") << "not an object";
  EXPECT_EQ(json().value("s", "d"), "d");
}

TEST(HostJsonMembers, InequalityAndIsBoolFollowTheirCounterparts) {
  EXPECT_TRUE(json(true) != json(false));
  EXPECT_FALSE(json::parse(R"({"a":[1]})") != json::parse(R"({"a":[1]})"));
  EXPECT_TRUE(json(true).is_bool());
  EXPECT_FALSE(json("true").is_bool());
}

TEST(HostJsonMembers, IntIndexesAreSignExtended) {
  const json j = json::parse(R"(["a","b"])");
  EXPECT_EQ(j[0].get<std::string>(), "a");
  EXPECT_EQ(j.at(1).get<std::string>(), "b");
  EXPECT_TRUE(j[-1].is_null());
  EXPECT_THROW((void)j.at(-1), std::out_of_range);
  json writable = j;
  writable[1] = json("B");
  EXPECT_EQ(writable.dump(), R"(["a","B"])");
  EXPECT_THROW(writable[-1], std::out_of_range);
  EXPECT_THROW(writable.at(2), std::out_of_range);
}

TEST(HostJsonMembers, RawAccessorsExposeTheNodeBehindTheValue) {
  const json j = json::parse(R"({"a":[true]})");
  ASSERT_NE(j.raw_doc(), nullptr);
  EXPECT_TRUE(yyjson_mut_is_obj(j.raw_val()));
  const json element = j["a"][0];
  EXPECT_EQ(element.raw_doc(), j.raw_doc()) << "a member shares its container's document";
  EXPECT_TRUE(yyjson_mut_get_bool(element.raw_val()));
  EXPECT_EQ(json().raw_doc(), nullptr);
  EXPECT_EQ(json().raw_val(), nullptr);
}

TEST(HostJsonItems, YieldsKeysAndValuesInOrder) {
  const json object = json::parse(R"({"b":1,"a":"x"})");
  std::vector<std::pair<std::string, std::string>> seen;
  for (const auto& [key, value] : object.items()) seen.emplace_back(key, value.dump());
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"b", "1"}, {"a", "\"x\""}}));

  seen.clear();
  for (const auto& [key, value] : json::parse("[true,null]").items()) seen.emplace_back(key, value.dump());
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"0", "true"}, {"1", "null"}}));
}

TEST(HostJsonItems, HoldsItsOwnCopy) {
  json j = json::parse(R"({"a":1})");
  auto range = j.items();
  j["b"] = json(true);
  std::size_t count = 0;
  for (const auto& entry : range) {
    EXPECT_EQ(entry.first, "a");
    ++count;
  }
  EXPECT_EQ(count, 1U);
}

TEST(HostJsonIterator, DefaultIteratorsWalkNothingAndAreEqual) {
  EXPECT_TRUE(json::iterator() == json::iterator());
  EXPECT_TRUE(json::iterator() == json(true).begin());
  EXPECT_FALSE(json::iterator() == json::parse("[1]").begin());
}

TEST(HostJsonIterator, EqualityNeedsTheSameContainerAndPosition) {
  const json a = json::parse("[1,2]");
  const json b = json::parse("[1,2]");
  const json copy = a;
  EXPECT_TRUE(a.begin() == a.begin());
  EXPECT_TRUE(a.end() == copy.end()) << "copies share the container until one is written";
  EXPECT_FALSE(a.begin() == b.begin()) << "equal contents, different containers";
  EXPECT_FALSE(a.begin() == a.end());
  auto it = a.begin();
  ++it;
  ++it;
  EXPECT_TRUE(it == a.end());
  const json empty = json::parse("[]");
  EXPECT_TRUE(empty.begin() == empty.end());
}

TEST(HostJsonIterator, CopiesAdvanceIndependently) {
  const json a = json::parse(R"({"x":1,"y":2})");
  auto first = a.begin();
  auto second = first;
  ++second;
  EXPECT_EQ(first.key(), "x");
  EXPECT_EQ(second.key(), "y");
  json::iterator assigned;
  assigned = second;
  EXPECT_TRUE(assigned == second);
  EXPECT_EQ((*assigned).dump(), "2");
}

TEST(HostJsonIterator, AMoveLeavesTheSourceWalkingNothing) {
  const json a = json::parse(R"({"x":1})");
  auto source = a.begin();
  auto moved = std::move(source);
  EXPECT_EQ(moved.key(), "x");
  EXPECT_TRUE(source == json::iterator());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(source.key(), "");
  json::iterator target = a.begin();
  target = std::move(moved);
  EXPECT_TRUE(moved == json::iterator());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(target.key(), "x");
}

}  // namespace
