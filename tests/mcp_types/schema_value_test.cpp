// validate_json_value: values against schemas of the supported subset.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::json;

void check(const std::string& value, const std::string& schema, const std::string& path = "") {
  vantrel::mcp::validate_json_value(json::parse(value), json::parse(schema), "args", path);
}

TEST(JsonSchemaValue, TheSchemaIsCheckedFirst) {
  EXPECT_THROW_MESSAGE(check("1", R"({"const":2,"type":"Number"})"), std::invalid_argument,
                       "unsupported JSON Schema type: Number");
}

TEST(JsonSchemaValue, ConstThenEnumThenType) {
  const char* schema = R"({"const":"a","enum":["b"],"type":"integer"})";
  EXPECT_THROW_MESSAGE(check("1.5", schema), std::invalid_argument, "args at  does not match const");
  EXPECT_THROW_MESSAGE(check(R"("a")", schema), std::invalid_argument, "args at  is not in enum");
  EXPECT_THROW_MESSAGE(check(R"("b")", R"({"enum":["b"],"type":"integer"})"), std::invalid_argument,
                       "args at  has the wrong JSON type");
  EXPECT_NO_THROW(check(R"({"k":[1,null]})", R"({"const":{"k":[1,null]}})"));
  EXPECT_NO_THROW(check("null", R"({"const":null})"));
  EXPECT_THROW_MESSAGE(check("0", R"({"const":null})"), std::invalid_argument, "args at  does not match const");
}

TEST(JsonSchemaValue, ConstAndEnumCompareNumbersByValue) {
  EXPECT_NO_THROW(check("1.0", R"({"const":1})"));
  EXPECT_NO_THROW(check("1", R"({"const":1.0})"));
  EXPECT_NO_THROW(check("-0.0", R"({"const":0})"));
  EXPECT_NO_THROW(check(R"({"a":[2e0]})", R"({"const":{"a":[2]}})"));
  EXPECT_NO_THROW(check("2.0", R"({"enum":["2",1,2]})"));
  EXPECT_THROW_MESSAGE(check("9007199254740992.0", R"({"const":9007199254740993})"), std::invalid_argument,
                       "args at  does not match const");
  EXPECT_THROW_MESSAGE(check("18446744073709551615", R"({"enum":[-1,18446744073709551616]})"),
                       std::invalid_argument, "args at  is not in enum");
  // "type" still tells the two forms apart.
  EXPECT_THROW_MESSAGE(check("1.0", R"({"const":1,"type":"integer"})"), std::invalid_argument,
                       "args at  has the wrong JSON type");
}

// "const" and "enum" follow the host type's own comparison, on every edge of it.
TEST(JsonSchemaValue, ConstAndEnumAgreeWithTheHostComparison) {
  const std::string values[] = {
      "0", "-0", "0.0", "-0.0", "1", "1.0", "1.5", "-1", "1e2", "100",
      "9007199254740992", "9007199254740993", "9007199254740992.0",
      "18446744073709551615", "18446744073709551616", "18446744073709549568", "18446744073709549568.0",
      "9223372036854775808", "9223372036854775808.0", "-9223372036854775808", "-9223372036854775808.0",
      "-9223372036854775807", R"("1")", "true", "null", "[1]", "[1.0]", R"({"a":-0})", R"({"a":0.0})"};
  for (const std::string& expected : values) {
    for (const std::string& value : values) {
      const bool host = json::parse(value) == json::parse(expected);
      for (const std::string& schema : {R"({"const":)" + expected + "}", R"({"enum":[)" + expected + "]}"}) {
        bool accepted = true;
        try {
          check(value, schema);
        } catch (const std::invalid_argument&) {
          accepted = false;
        }
        EXPECT_EQ(accepted, host) << value << " against " << schema;
      }
    }
  }
}

TEST(JsonSchemaValue, EmptyTypeListAndEmptyEnumRefuseEverything) {
  for (const char* value : {"null", "true", "1", R"("s")", "[]", "{}"}) {
    SCOPED_TRACE(value);
    EXPECT_THROW_MESSAGE(check(value, R"({"type":[]})"), std::invalid_argument, "args at  has the wrong JSON type");
    EXPECT_THROW_MESSAGE(check(value, R"({"enum":[]})"), std::invalid_argument, "args at  is not in enum");
  }
}

TEST(JsonSchemaValue, TypeNamesMatchTheirValues) {
  struct Case {
    const char* type;
    const char* passes;
    const char* fails;
  };
  const Case cases[] = {
      {"null", "null", "0"},          {"boolean", "false", "0"},    {"object", "{}", "[]"},
      {"array", "[]", "{}"},          {"number", "3", R"("3")"},    {"number", "-2.5e3", "null"},
      {"integer", "-7", "1.5"},       {"integer", "1", "1.0"},      {"string", R"("")", "true"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const std::string schema = std::string(R"({"type":")") + c.type + "\"}";
    EXPECT_NO_THROW(check(c.passes, schema));
    EXPECT_THROW(check(c.fails, schema), std::invalid_argument);
  }
  EXPECT_NO_THROW(check("null", R"({"type":["string","null"]})"));
}

TEST(JsonSchemaValue, RequiredThenPropertiesThenAdditional) {
  const char* schema =
      R"({"required":["a","b"],"properties":{"a":{"type":"string"}},"additionalProperties":false})";
  EXPECT_THROW_MESSAGE(check(R"({"a":1,"x":1})", schema), std::invalid_argument,
                       "args at  is missing required property b");
  EXPECT_THROW_MESSAGE(check(R"({"x":1,"b":1,"a":1})", schema), std::invalid_argument,
                       "args at /a has the wrong JSON type");
  EXPECT_THROW_MESSAGE(check(R"({"b":1,"a":"s","x":1})", schema), std::invalid_argument,
                       "args at  has unexpected property b");
}

TEST(JsonSchemaValue, PropertiesAreCheckedInTheSchemasOrder) {
  const char* schema = R"({"properties":{"first":{"type":"string"},"second":{"type":"string"}}})";
  EXPECT_THROW_MESSAGE(check(R"({"second":1,"first":2})", schema), std::invalid_argument,
                       "args at /first has the wrong JSON type");
  EXPECT_NO_THROW(check(R"({"other":1})", schema));
}

TEST(JsonSchemaValue, AdditionalPropertiesInTheValuesOrder) {
  EXPECT_THROW_MESSAGE(check(R"({"z":1,"a":2})", R"({"additionalProperties":false})"), std::invalid_argument,
                       "args at  has unexpected property z");
  EXPECT_NO_THROW(check("{}", R"({"additionalProperties":false})"));
  EXPECT_NO_THROW(check(R"({"z":1})", R"({"additionalProperties":true})"));
  EXPECT_THROW_MESSAGE(check(R"({"k":"v","n":1})",
                             R"({"properties":{"k":{}},"additionalProperties":{"type":"string"}})", "$"),
                       std::invalid_argument, "args at $/n has the wrong JSON type");
}

TEST(JsonSchemaValue, ObjectKeywordsApplyOnlyToObjects) {
  EXPECT_NO_THROW(check(R"("text")", R"({"required":["a"],"additionalProperties":false})"));
  EXPECT_NO_THROW(check("[1]", R"({"properties":{"0":{"type":"string"}}})"));
  EXPECT_NO_THROW(check(R"({"0":1})", R"({"items":{"type":"string"}})"));
}

TEST(JsonSchemaValue, ItemsCheckEveryElementByIndex) {
  EXPECT_THROW_MESSAGE(check(R"([1,2,"x",4])", R"({"items":{"type":"integer"}})", "root"), std::invalid_argument,
                       "args at root/2 has the wrong JSON type");
  EXPECT_NO_THROW(check("[]", R"({"items":{"type":"integer"}})"));
  EXPECT_THROW_MESSAGE(
      check(R"({"rows":[{"id":1},{"id":2},{}]})",
            R"({"properties":{"rows":{"items":{"required":["id"]}}}})"),
      std::invalid_argument, "args at /rows/2 is missing required property id");
}

TEST(JsonSchemaValue, KeysAppearUnescapedInLocations) {
  EXPECT_THROW_MESSAGE(check(R"({"a/b":{"c~d":1}})", R"({"properties":{"a/b":{"properties":{"c~d":{"type":"null"}}}}})"),
                       std::invalid_argument, "args at /a/b/c~d has the wrong JSON type");
}

TEST(JsonSchemaValue, LargePropertySetsAreMatchedByName) {
  std::string schema = R"({"additionalProperties":false,"properties":{)";
  std::string value = "{";
  for (int i = 0; i < 100; ++i) {
    schema += (i ? "," : "") + std::string("\"p") + std::to_string(i) + R"(":{"type":"integer"})";
  }
  // The value lists members in reverse, so order-based shortcuts cannot help.
  for (int i = 99; i >= 0; --i) value += (i != 99 ? "," : "") + std::string("\"p") + std::to_string(i) + "\":" + std::to_string(i);
  EXPECT_NO_THROW(check(value + "}", schema + "}}"));
  EXPECT_THROW_MESSAGE(check(value + R"(,"p42x":1})", schema + "}}"), std::invalid_argument,
                       "args at  has unexpected property p42x");
  EXPECT_THROW_MESSAGE(check(R"({"p7":1,"p42":true})", schema + "}}"), std::invalid_argument,
                       "args at /p42 has the wrong JSON type");
}

TEST(JsonSchemaValue, ADefaultConstructedValueIsNull) {
  EXPECT_NO_THROW(vantrel::mcp::validate_json_value(json(), json::parse(R"({"type":"null"})"), "v", ""));
  EXPECT_THROW_MESSAGE(vantrel::mcp::validate_json_value(json(), json::parse(R"({"type":"object"})"), "v", "r"),
                       std::invalid_argument, "v at r has the wrong JSON type");
}

TEST(JsonSchemaValue, LeavesValueAndSchemaUnchanged) {
  const json value = json::parse(R"({"a":[1,{"b":2}]})");
  const json schema = json::parse(R"({"properties":{"a":{"items":{"additionalProperties":{"type":"integer"}}}}})");
  const std::string before = value.dump() + schema.dump();
  vantrel::mcp::validate_json_value(value, schema, "v", "");
  EXPECT_EQ(value.dump() + schema.dump(), before);
}

}  // namespace
