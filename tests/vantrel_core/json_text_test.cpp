// JSON text in and out of the host JSON type.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/json.hpp>

namespace {

using vantrel::json;

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonText, ParseAndDumpRoundTrip) {
  const std::string text = R"({"s":"a\"b\\\u00e9","n":[0,-5,1.5,18446744073709551615],"t":true,"z":null})";
  const json j = json::parse(text);
  EXPECT_EQ(j["s"].get<std::string>(), "a\"b\\\xc3\xa9");
  EXPECT_EQ(json::parse(j.dump()), j);
  EXPECT_EQ(json::parse(" [1, 2] ").dump(), "[1,2]");
}

TEST(JsonText, ParseRefusesWhatIsNotStrictJson) {
  for (const char* bad : {"", "{", "[1,]", "{\"a\":1,}", "// c\n1", "'x'", "NaN", "[1] 2", "\"\xff\""}) {
    EXPECT_THROW((void)json::parse(bad), std::invalid_argument) << bad;
  }
}

TEST(JsonText, ParseRefusesRepeatedMemberNames) {
  EXPECT_THROW((void)json::parse(R"({"a":1,"b":2,"a":3})"), std::invalid_argument);
  EXPECT_THROW((void)json::parse(R"([{"x":{"k":1,"k":1}}])"), std::invalid_argument);
  std::string many = "{";
  for (int i = 0; i < 100; ++i) many += "\"m" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  EXPECT_NO_THROW((void)json::parse(many + R"("m":0})"));
  EXPECT_THROW((void)json::parse(many + R"("m42":0})"), std::invalid_argument);
  // Objects are found wherever they sit: in arrays of arrays, and after larger siblings.
  EXPECT_THROW((void)json::parse(R"({"a":[[1,{"b":[{}]}],[[{"k":1,"k":2}]]]})"), std::invalid_argument);
  EXPECT_THROW((void)json::parse(R"([[[{"x":[{"k":1}]}]],{"y":{"z":[[{"k":0,"k":0}]]}}])"),
               std::invalid_argument);
  EXPECT_NO_THROW((void)json::parse(R"([[[{"x":[{"k":1}]}]],{"y":{"z":[[{"k":0,"j":0}]]}}])"));
  EXPECT_NO_THROW((void)json::parse("7"));
  // The same name in different objects is no repetition.
  EXPECT_NO_THROW((void)json::parse(R"({"a":{"a":1},"b":{"a":2}})"));
}

TEST(JsonText, NestingIsLimited) {
  EXPECT_NO_THROW((void)json::parse(nested(json::max_parse_depth)));
  EXPECT_THROW((void)json::parse(nested(json::max_parse_depth + 1)), std::invalid_argument);
  // Brackets inside strings are text, not nesting.
  EXPECT_NO_THROW((void)json::parse("\"" + std::string(2000, '[') + "\""));
}

TEST(JsonText, DumpRefusesStringsThatAreNotUtf8) {
  EXPECT_THROW((void)json(std::string("\xff")).dump(), std::invalid_argument);
  EXPECT_EQ(json().dump(), "null");
}

}  // namespace
