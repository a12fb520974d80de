// validate_json_schema: what a schema of the supported subset may contain.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::json;
using vantrel::mcp::validate_json_schema;

void check(const std::string& text, const std::string& path = "#") { validate_json_schema(json::parse(text), path); }

// nested_properties returns a schema with `levels` schemas nested below the root through
// "properties" members named p1, p2, ...
std::string nested_properties(int levels) {
  std::string text;
  for (int i = 1; i <= levels; ++i) text += R"({"properties":{"p)" + std::to_string(i) + R"(":)";
  text += "{}";
  for (int i = 1; i <= levels; ++i) text += "}}";
  return text;
}

TEST(JsonSchema, AcceptsTheSubsetAndIgnoresOtherKeywords) {
  EXPECT_NO_THROW(check(R"({})"));
  EXPECT_NO_THROW(check(R"({"type":["string","null"],"enum":[1,"a"],"const":{"x":[1]},"required":["a"],)"
                        R"("properties":{"a":{"type":"integer"}},"items":{"type":"number"},)"
                        R"("additionalProperties":false,"description":7,"minimum":"x","$ref":[]})"));
  EXPECT_NO_THROW(check(R"({"type":[]})"));
  EXPECT_NO_THROW(check(R"({"additionalProperties":true,"required":[]})"));
  for (const char* type : {"null", "boolean", "object", "array", "number", "integer", "string"}) {
    EXPECT_NO_THROW(check(std::string(R"({"type":")") + type + "\"}")) << type;
  }
}

TEST(JsonSchema, RefusesUnsupportedTypeNames) {
  EXPECT_THROW_MESSAGE(check(R"({"type":"Integer"})"), std::invalid_argument, "unsupported JSON Schema type: Integer");
  EXPECT_THROW_MESSAGE(check(R"({"type":["string","float"]})"), std::invalid_argument,
                       "unsupported JSON Schema type: float");
  EXPECT_THROW_MESSAGE(check(R"({"type":["string",1]})"), std::invalid_argument,
                       "JSON Schema type at # must contain strings");
  EXPECT_THROW_MESSAGE(check(R"({"type":null})"), std::invalid_argument,
                       "JSON Schema type at # must be a string or array");
}

TEST(JsonSchema, ChecksRunInOrderAtEachLocation) {
  const MessageCase cases[] = {
      {R"([])", "JSON Schema at # must be an object"},
      {R"({"type":5,"enum":5})", "JSON Schema type at # must be a string or array"},
      {R"({"enum":{},"required":5})", "JSON Schema enum at # must be an array"},
      {R"({"required":"a","properties":[]})", "JSON Schema required at # must be an array"},
      {R"({"required":["a",null]})", "JSON Schema required at # must contain strings"},
      {R"({"properties":[],"items":[]})", "JSON Schema properties at # must be an object"},
      {R"({"properties":{"a":{},"b":[]},"items":[]})", "JSON Schema at #/properties/b must be an object"},
      {R"({"items":[{}],"additionalProperties":1})", "JSON Schema at #/items must be an object"},
      {R"({"items":true})", "JSON Schema at #/items must be an object"},
      {R"({"additionalProperties":"no"})", "JSON Schema additionalProperties at # must be a boolean or object"},
      {R"({"additionalProperties":{"type":"x"}})", "unsupported JSON Schema type: x"},
      {R"({"additionalProperties":{"items":{"enum":1}}})",
       "JSON Schema enum at #/additionalProperties/items must be an array"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW_MESSAGE(check(c.text), std::invalid_argument, c.message);
  }
}

TEST(JsonSchema, ConstMayHoldAnything) {
  EXPECT_NO_THROW(check(R"({"const":null})"));
  EXPECT_NO_THROW(check(R"({"const":[{"type":"bogus"}]})"));
}

TEST(JsonSchema, NestingStopsAfterSixtyFourLevels) {
  EXPECT_NO_THROW(check(nested_properties(64)));
  std::string location = "#";
  for (int i = 1; i <= 65; ++i) location += "/properties/p" + std::to_string(i);
  EXPECT_THROW_MESSAGE(check(nested_properties(65)), std::invalid_argument,
                       "JSON Schema nesting exceeds 64 levels at " + location);
  // The limit holds long before the host's own nesting limit is near.
  EXPECT_THROW(check(nested_properties(200)), std::invalid_argument);
}

TEST(JsonSchema, ItemsAndAdditionalPropertiesCountAsLevels) {
  std::string text;
  for (int i = 0; i < 65; ++i) text += R"({"items":)";
  text += "{}";
  text += std::string(65, '}');
  std::string location = "";
  for (int i = 0; i < 65; ++i) location += "/items";
  EXPECT_THROW_MESSAGE(validate_json_schema(json::parse(text), ""), std::invalid_argument,
                       "JSON Schema nesting exceeds 64 levels at " + location);
}

TEST(JsonSchema, PropertyNamesAppearUnescaped) {
  EXPECT_THROW_MESSAGE(check(R"({"properties":{"a/b~c":{"type":"Str"}}})"), std::invalid_argument,
                       "unsupported JSON Schema type: Str");
  EXPECT_THROW_MESSAGE(check(R"({"properties":{"a/b~c":{"required":1}}})", "root"), std::invalid_argument,
                       "JSON Schema required at root/properties/a/b~c must be an array");
}

TEST(JsonSchema, ANullSchemaIsNotAnObject) {
  EXPECT_THROW_MESSAGE(validate_json_schema(json(), "p"), std::invalid_argument, "JSON Schema at p must be an object");
}

}  // namespace
