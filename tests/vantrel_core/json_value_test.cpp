// Reading the host JSON type: construction, type tests, lookups, equality, conversion and
// iteration.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vantrel/json.hpp>

namespace {

using vantrel::json;

TEST(JsonValue, ConstructorsMakeTheirTypes) {
  EXPECT_TRUE(json().is_null());
  EXPECT_TRUE(json(true).is_boolean());
  EXPECT_TRUE(json(std::string("x")).is_string());
  EXPECT_TRUE(json("literal").is_string()) << "a string literal must not become a boolean";
  EXPECT_TRUE(json::object().is_object());
  EXPECT_TRUE(json::array().is_array());
  EXPECT_EQ(json("literal").get<std::string>(), "literal");
  EXPECT_EQ(json(std::string("a\0b", 3)).get<std::string>(), std::string("a\0b", 3));
}

TEST(JsonValue, NumbersAreNumbersAndOnlyIntegerLiteralsAreIntegers) {
  const json values = json::parse(R"([1, -1, 18446744073709551615, 1.0, 2e3])");
  EXPECT_TRUE(values[0].is_number_integer());
  EXPECT_TRUE(values[1].is_number_integer());
  EXPECT_TRUE(values[2].is_number_integer());
  EXPECT_FALSE(values[3].is_number_integer());
  EXPECT_FALSE(values[4].is_number_integer());
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_TRUE(values[i].is_number()) << i;
  EXPECT_FALSE(json("1").is_number());
}

TEST(JsonValue, MissingMembersAndElementsReadAsNull) {
  const json j = json::parse(R"({"a":1,"arr":[true]})");
  EXPECT_TRUE(j["missing"].is_null());
  EXPECT_TRUE(j[std::string("missing")].is_null());
  EXPECT_TRUE(j["arr"][std::size_t{1}].is_null());
  EXPECT_TRUE(j["a"]["deeper"].is_null());
  EXPECT_TRUE(json(true)["a"].is_null());
  EXPECT_TRUE(j.contains("a"));
  EXPECT_FALSE(j.contains("missing"));
  EXPECT_FALSE(j["arr"].contains("0"));
  EXPECT_THROW((void)j["arr"].at(std::size_t{1}), std::out_of_range);
  EXPECT_THROW((void)j.at(std::size_t{0}), std::out_of_range);
  EXPECT_TRUE(j["arr"].at(std::size_t{0}).get<bool>());
}

TEST(JsonValue, WritingAnExistingMemberNeverRepeatsIt) {
  json j = json::parse(R"({"k":"first"})");
  j["k"] = json("second");
  EXPECT_EQ(j.dump(), R"({"k":"second"})");
  EXPECT_EQ(j, json::parse(j.dump()));
}

TEST(JsonValue, SizeAndEmptyCountEntries) {
  const json j = json::parse(R"({"o":{},"a":[1,2],"s":"","n":null,"f":false})");
  EXPECT_EQ(j.size(), 5U);
  EXPECT_EQ(j["a"].size(), 2U);
  EXPECT_TRUE(j["o"].empty());
  EXPECT_FALSE(j["a"].empty());
  EXPECT_TRUE(j["n"].empty());
  EXPECT_FALSE(j["s"].empty()) << "only containers and null are empty";
  EXPECT_FALSE(j["f"].empty());
  EXPECT_EQ(j["s"].size(), 0U);
}

TEST(JsonValue, EqualityIsDeepAndIgnoresMemberOrder) {
  EXPECT_TRUE(json::parse(R"({"a":[1,{"b":null}],"c":"x"})") == json::parse(R"({"c":"x","a":[1,{"b":null}]})"));
  EXPECT_FALSE(json::parse(R"([1,2])") == json::parse(R"([2,1])"));
  EXPECT_FALSE(json::parse(R"({"a":1})") == json::parse(R"({"a":1,"b":2})"));
  EXPECT_TRUE(json::parse("null") == json()) << "the document-less null equals a parsed null";
  EXPECT_FALSE(json() == json(false));
  EXPECT_TRUE(json::parse("[1]")[0] == json::parse("[1]")[0]);
  EXPECT_TRUE(json::parse("1") == json::parse("1.0")) << "numbers compare by value";
  EXPECT_TRUE(json::parse("-0")[0] == json::parse("-0")[0]);
  EXPECT_TRUE(json::parse("[5]")[0] == json::parse("[5]")[0]);
}

// NumberPair is two number texts and whether their values are equal.
struct NumberPair {
  const char* a;
  const char* b;
  bool equal;
};

// expect_compared checks each pair in both directions.
void expect_compared(const std::vector<NumberPair>& pairs) {
  for (const NumberPair& pair : pairs) {
    const json a = json::parse(pair.a);
    const json b = json::parse(pair.b);
    EXPECT_EQ(a == b, pair.equal) << pair.a << " == " << pair.b;
    EXPECT_EQ(b == a, pair.equal) << pair.b << " == " << pair.a;
  }
}

TEST(JsonValue, NumbersCompareByValueWhateverTheirForm) {
  expect_compared({{"1", "1.0", true}, {"100", "1e2", true}, {"1", "1.5", false}, {"2", "2", true},
                   {R"([1,{"a":2}])", R"([1.0,{"a":2e0}])", true}, {"[1]", "[1.5]", false}});
  json built = json::object();
  built["a"] = json::parse("3");
  EXPECT_TRUE(built == json::parse(R"({"a":3.0})"));
  EXPECT_TRUE(json::parse("1").is_number_integer());
  EXPECT_FALSE(json::parse("1.0").is_number_integer()) << "equal values keep their forms";
}

TEST(JsonValue, NumberEqualityIsExactAtTheEdges) {
  expect_compared({
      // 2^53 + 1 is no double: the real next to it is another number. Its own text
      // written as a real is read as 2^53.
      {"9007199254740993", "9007199254740992.0", false},
      {"9007199254740992", "9007199254740992.0", true},
      {"9007199254740993", "9007199254740993.0", false},
      // The largest unsigned integer: its nearest real is 2^64, beyond every integer.
      {"18446744073709551615", "18446744073709551615.0", false},
      {"18446744073709551615", "18446744073709551616", false},
      {"18446744073709549568", "18446744073709549568.0", true},  // the largest real below 2^64
      // Unsigned against signed: the same 64 bits are different numbers.
      {"-1", "18446744073709551615", false},
      {"-0", "0", true},
      {"9223372036854775808", "9223372036854775808.0", true},  // 2^63, unsigned
      {"9223372036854775808", "-9223372036854775808.0", false},
      {"9223372036854775808", "-9223372036854775808", false},
      // Zero of either sign is one number.
      {"-0.0", "0", true},
      {"-0.0", "0.0", true},
      {"-0.0", "-0", true},
      // The most negative integer, -2^63, is a double exactly; its neighbour is not.
      {"-9223372036854775808", "-9223372036854775808.0", true},
      {"-9223372036854775807", "-9223372036854775808.0", false},
  });
}

TEST(JsonValue, GetThrowsOnTypeMismatch) {
  EXPECT_THROW((void)json(true).get<std::string>(), std::invalid_argument);
  EXPECT_THROW((void)json("x").get<bool>(), std::invalid_argument);
  EXPECT_THROW((void)json().get<bool>(), std::invalid_argument);
  EXPECT_TRUE(json::parse("[3]").get<json>().is_array());
}

TEST(JsonValue, IterationFollowsStoredOrder) {
  const json object = json::parse(R"({"z":1,"a":2,"m":3})");
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"z", "a", "m"}));

  const json array = json::parse(R"(["x","y"])");
  std::vector<std::string> seen;
  for (const json& element : array) seen.push_back(element.get<std::string>());
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "y"}));

  auto it = array.begin();
  EXPECT_EQ(it.key(), "0");
  EXPECT_EQ(it.value(), *it);
}

TEST(JsonValue, ScalarsAndNullIterateAsEmptyRanges) {
  for (const json& j : {json(), json(true), json("s"), json::object(), json::array()}) {
    EXPECT_TRUE(j.begin() == j.end()) << j.dump();
  }
}

TEST(JsonValue, AnIteratorSeesTheContainerAsItWasWhenTheWalkBegan) {
  json j = json::parse(R"({"a":1})");
  auto it = j.begin();
  j["b"] = json(true);
  EXPECT_EQ(it.key(), "a");
  ++it;
  EXPECT_EQ(it.key(), "");
  EXPECT_TRUE((*it).is_null());
  EXPECT_EQ(j.size(), 2U);
}

}  // namespace
