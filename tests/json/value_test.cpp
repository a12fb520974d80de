// Value accessors and iteration: number classes, neutral results on wrong types, and
// element and member ranges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zu/json.hpp>

#include "json_helpers.hpp"

namespace {

using zu::json::Value;
using zu::testing::parse_document;

TEST(ValueNumbers, IntegerStorageClasses) {
  const auto doc = parse_document("[18446744073709551615,-1,1.5,3,-9223372036854775808,18446744073709551616]");
  const Value max = doc.root().at(0);
  EXPECT_TRUE(max.is_uint());
  EXPECT_TRUE(max.is_int());
  EXPECT_EQ(max.as_int(), -1);
  EXPECT_EQ(max.as_uint(), 18446744073709551615u);

  const Value minus_one = doc.root().at(1);
  EXPECT_FALSE(minus_one.is_uint());
  EXPECT_TRUE(minus_one.is_int());
  EXPECT_EQ(minus_one.as_uint(), 18446744073709551615u);
  EXPECT_EQ(minus_one.as_double(), -1.0);

  const Value real = doc.root().at(2);
  EXPECT_TRUE(real.is_number());
  EXPECT_FALSE(real.is_int());
  EXPECT_EQ(real.as_int(), 0);
  EXPECT_EQ(real.as_uint(), 0u);
  EXPECT_EQ(real.as_double(), 1.5);

  EXPECT_EQ(max.as_double(), 18446744073709551616.0) << "rounded to the nearest double";
  EXPECT_EQ(doc.root().at(3).as_double(), 3.0);
  EXPECT_EQ(doc.root().at(4).as_int(), INT64_MIN);
  // Integers beyond 64 bits become reals.
  EXPECT_FALSE(doc.root().at(5).is_int());
  EXPECT_EQ(doc.root().at(5).as_double(), 18446744073709551616.0);
}

TEST(ValueAccess, WrongTypesGiveNeutralResults) {
  const auto doc = parse_document(R"({"s":"text","t":true,"f":false,"n":null})");
  const Value s = doc.root().get("s");
  EXPECT_FALSE(s.as_bool());
  EXPECT_EQ(s.as_int(), 0);
  EXPECT_EQ(s.size(), 0u);
  EXPECT_FALSE(s.at(0).valid());
  EXPECT_FALSE(s.get("x").valid());
  EXPECT_EQ(s.elements().begin(), s.elements().end());
  EXPECT_TRUE(doc.root().get("t").as_bool());
  EXPECT_FALSE(doc.root().get("f").as_bool());
  EXPECT_TRUE(doc.root().get("f").is_bool());
  EXPECT_TRUE(doc.root().get("n").is_null());
  EXPECT_EQ(doc.root().get("n").as_string().data(), nullptr);
  EXPECT_EQ(doc.root().as_string().data(), nullptr);

  const Value invalid;
  EXPECT_FALSE(invalid.valid());
  for (bool test : {invalid.is_null(), invalid.is_bool(), invalid.is_number(), invalid.is_int(),
                    invalid.is_uint(), invalid.is_string(), invalid.is_array(), invalid.is_object(),
                    invalid.as_bool()}) {
    EXPECT_FALSE(test);
  }
  EXPECT_EQ(invalid.as_double(), 0.0);
  EXPECT_EQ(invalid.size(), 0u);
  EXPECT_EQ(invalid.members().begin(), invalid.members().end());
  EXPECT_EQ(invalid.dump(), "");
}

TEST(ValueAccess, GetMatchesByLengthThenBytes) {
  const auto doc = parse_document(R"({"":1,"ab":2,"a":3,"a\u0000b":4})");
  EXPECT_EQ(doc.root().get("").as_int(), 1);
  EXPECT_EQ(doc.root().get("a").as_int(), 3);
  EXPECT_EQ(doc.root().get(std::string_view("a\0b", 3)).as_int(), 4);
  EXPECT_FALSE(doc.root().get("b").valid());
  // A view with null data matches nothing, not even the member named "".
  EXPECT_FALSE(doc.root().get(std::string_view{}).valid());
}

TEST(ValueAccess, AtIndexesFlatAndNestedArrays) {
  const auto flat = parse_document("[10,11,12]");
  EXPECT_EQ(flat.root().at(2).as_int(), 12);
  EXPECT_FALSE(flat.root().at(3).valid());
  const auto nested = parse_document(R"([[1,[2]],{"a":[3,4]},"x",[]])");
  EXPECT_EQ(nested.root().size(), 4u);
  EXPECT_EQ(nested.root().at(1).get("a").at(1).as_int(), 4);
  EXPECT_EQ(nested.root().at(2).as_string(), "x");
  EXPECT_EQ(nested.root().at(3).size(), 0u);
  EXPECT_FALSE(nested.root().at(4).valid());
}

TEST(Iteration, ElementsVisitEachElementOnceInOrder) {
  const auto doc = parse_document(R"([1,[2,[3]],{"k":4},"five"])");
  std::vector<std::string> seen;
  for (Value v : doc.root().elements()) seen.push_back(v.dump());
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "[2,[3]]", R"({"k":4})", "\"five\""}));

  auto it = doc.root().elements().begin();
  auto before = it++;
  EXPECT_EQ((*before).as_int(), 1);
  EXPECT_TRUE((*it).is_array());
  ++it;
  ++it;
  ++it;
  EXPECT_EQ(it, doc.root().elements().end());
  ++it;  // incrementing the end stays at the end
  EXPECT_EQ(it, zu::json::Elements::Iterator{});
}

TEST(Iteration, MembersGiveKeysAndValuesInDocumentOrder) {
  const auto doc = parse_document(R"({"b":[1,2],"a":{"x":null},"c":"s"})");
  std::vector<std::string> seen;
  for (zu::json::Member m : doc.root().members()) seen.push_back(std::string(m.key) + "=" + m.value.dump());
  EXPECT_EQ(seen, (std::vector<std::string>{"b=[1,2]", R"(a={"x":null})", "c=\"s\""}));
}

TEST(Iteration, RangesOfTheWrongKindAreEmpty) {
  const auto doc = parse_document(R"({"a":[1],"o":{"k":1},"e":[],"eo":{}})");
  const Value object = doc.root().get("o");
  const Value array = doc.root().get("a");
  EXPECT_EQ(object.elements().begin(), object.elements().end());
  EXPECT_EQ(array.members().begin(), array.members().end());
  EXPECT_EQ(doc.root().get("e").elements().begin(), doc.root().get("e").elements().end());
  EXPECT_EQ(doc.root().get("eo").members().begin(), doc.root().get("eo").members().end());
}

}  // namespace
