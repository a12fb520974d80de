// Parsing: the order of the checks, the limits at their boundaries, strictness, and the
// duplicate-member walk's reporting order and pointers.
#include <gtest/gtest.h>

#include <string>

#include <zu/json.hpp>

#include "json_helpers.hpp"

namespace {

using zu::json::Limits;
using zu::json::ParseErrorCode;
using zu::testing::parse_document;
using zu::testing::parse_error;

TEST(ParseLimits, ByteLimitAcceptsExactSizeAndRefusesOneMore) {
  EXPECT_TRUE(parse_document("[1,2]", {.max_bytes = 5, .max_depth = 1}).root().is_array());
  const auto error = parse_error("[1,2]", {.max_bytes = 4, .max_depth = 1});
  EXPECT_EQ(error.code, ParseErrorCode::byte_limit);
  EXPECT_EQ(error.message, "JSON byte limit exceeded");
  EXPECT_TRUE(error.pointer.empty());
  EXPECT_FALSE(error.document.root().valid());
}

TEST(ParseLimits, ByteLimitWinsOverDepthAndMalformedness) {
  // Too long, too deep and malformed at once: the byte limit is checked first.
  EXPECT_EQ(parse_error("[[[[x", {.max_bytes = 4, .max_depth = 1}).code,
            ParseErrorCode::byte_limit);
}

TEST(ParseLimits, DepthBoundaries) {
  EXPECT_TRUE(parse_document("[1]", {.max_bytes = 64, .max_depth = 1}).root().is_array());
  EXPECT_EQ(parse_error("[[1]]", {.max_bytes = 64, .max_depth = 1}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_TRUE(parse_document("1", {.max_bytes = 64, .max_depth = 0}).root().is_number());
  const auto error = parse_error("[]", {.max_bytes = 64, .max_depth = 0});
  EXPECT_EQ(error.code, ParseErrorCode::nesting_limit);
  EXPECT_EQ(error.message, "JSON nesting limit exceeded");
  // Objects count like arrays.
  EXPECT_EQ(parse_error(R"({"a":{"b":1}})", {.max_bytes = 64, .max_depth = 1}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_TRUE(parse_document(R"({"a":{"b":1}})", {.max_bytes = 64, .max_depth = 2}).root().valid());
}

TEST(ParseLimits, BracketsInsideStringsDoNotCount) {
  // ["\"]]]"]: an escaped quote followed by closing brackets, all inside the string.
  const auto doc = parse_document(R"(["\"]]]"])", {.max_bytes = 64, .max_depth = 1});
  EXPECT_EQ(doc.root().at(0).as_string(), "\"]]]");
  EXPECT_TRUE(parse_document(R"(["[[[{{{", "\\", "[["])", {.max_bytes = 64, .max_depth = 1})
                  .root().is_array());
  // An escaped backslash ends the escape: the quote after it closes the string.
  EXPECT_EQ(parse_error(R"(["\\",[[1]]])", {.max_bytes = 64, .max_depth = 2}).code,
            ParseErrorCode::nesting_limit);
}

TEST(ParseLimits, LongStringsAroundTheScannerBlocks) {
  // Brackets and quotes at every position relative to the scanner's block size.
  for (std::size_t pad = 0; pad < 40; ++pad) {
    const std::string body(pad, 'x');
    const std::string text = "[\"" + body + "\\\"[[[[\"," + "\"" + body + "\\\\\"]";
    EXPECT_TRUE(parse_document(text, {.max_bytes = 256, .max_depth = 1}).root().is_array())
        << pad;
    const std::string deep = "[\"" + body + "\\\\\",[[0]]]";
    EXPECT_EQ(parse_error(deep, {.max_bytes = 256, .max_depth = 2}).code,
              ParseErrorCode::nesting_limit)
        << pad;
  }
}

TEST(ParseLimits, MalformedButTooDeepReportsNesting) {
  EXPECT_EQ(parse_error("[[[[", {.max_bytes = 64, .max_depth = 2}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_EQ(parse_error("[[[[", {.max_bytes = 64, .max_depth = 10}).code,
            ParseErrorCode::invalid_json);
  // Stray closing brackets never take the depth below zero.
  EXPECT_EQ(parse_error("]]]][[", {.max_bytes = 64, .max_depth = 1}).code,
            ParseErrorCode::nesting_limit);
}

TEST(ParseLimits, EmptyContainersCountTowardsDepth) {
  for (const char* text : {"[[[]]]", "[[[ ]]]", "[[{}]]", R"({"a":{"b":[]}})", R"([1,{"k":{}}])"}) {
    EXPECT_EQ(parse_error(text, {.max_bytes = 64, .max_depth = 2}).code, ParseErrorCode::nesting_limit)
        << text;
    EXPECT_TRUE(parse_document(text, {.max_bytes = 64, .max_depth = 3}).root().valid()) << text;
  }
}

TEST(ParseLimits, NestingWinsOverDuplicatesWherever) {
  // The duplicate comes first in the text, the too-deep container after it.
  EXPECT_EQ(parse_error(R"({"a":1,"a":2,"b":[[[1]]]})", {.max_bytes = 64, .max_depth = 3}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_EQ(parse_error(R"([{"a":1,"a":2},[[[1]]]])", {.max_bytes = 64, .max_depth = 3}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_EQ(parse_error(R"([[[{"a":1,"a":2}]]])", {.max_bytes = 64, .max_depth = 3}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_EQ(parse_error(R"({"a":1,"a":2,"b":[[[1]]]})", {.max_bytes = 64, .max_depth = 4}).code,
            ParseErrorCode::duplicate_member);
}

TEST(ParseStrictness, RefusesEverythingBeyondStrictJson) {
  for (const char* text :
       {"", " ", "[1,]", "{\"a\":1,}", "// c\n1", "/* c */ 1", "NaN", "Infinity", "[-Infinity]",
        "\xEF\xBB\xBF" "1", "1 2", "[1] x", "'a'", "{a:1}", "[\"\xC3\"]", "[\"\xED\xA0\x80\"]",
        "01", "[1.]", "\"\t\"", "{\"a\" 1}", "tru", "nul"}) {
    const auto error = parse_error(text);
    EXPECT_EQ(error.code, ParseErrorCode::invalid_json) << text;
    EXPECT_EQ(error.message, "invalid JSON document") << text;
    EXPECT_FALSE(error.document.root().valid());
  }
}

TEST(ParseStrictness, NullDataViewIsInvalid) {
  EXPECT_EQ(parse_error(std::string_view{}).code, ParseErrorCode::invalid_json);
}

TEST(ParseStrictness, ScalarRootsParse) {
  EXPECT_EQ(parse_document("\"hi\"").root().as_string(), "hi");
  EXPECT_EQ(parse_document(" 12 ").root().as_uint(), 12u);
  EXPECT_TRUE(parse_document("null").root().is_null());
}

TEST(ParseStrictness, InputNeedNotOutliveTheCall) {
  std::string text = R"({"k":"value"})";
  const auto doc = parse_document(text);
  text.assign(text.size(), 'x');
  EXPECT_EQ(doc.root().get("k").as_string(), "value");
}

TEST(DuplicateMembers, ReportsTheRepeatedMember) {
  const auto error = parse_error(R"({"a":1,"a":2})");
  EXPECT_EQ(error.code, ParseErrorCode::duplicate_member);
  EXPECT_EQ(error.message, "duplicate object member");
  EXPECT_EQ(error.pointer, "/a");
  // The document survives, and get() returns the first of the equal-named members.
  EXPECT_EQ(error.document.root().get("a").as_int(), 1);
}

TEST(DuplicateMembers, PointersThroughArraysAndEscapedNames) {
  EXPECT_EQ(parse_error(R"({"x":[{"k":1,"k":2}]})").pointer, "/x/0/k");
  EXPECT_EQ(parse_error(R"([0,[1,{"k":1,"k":2}]])").pointer, "/1/1/k");
  EXPECT_EQ(parse_error(R"({"a/b~c":1,"a/b~c":2})").pointer, "/a~1b~0c");
  EXPECT_EQ(parse_error(R"({"p/q":{"~":{"":1,"":2}}})").pointer, "/p~1q/~0/");
  EXPECT_EQ(parse_error(R"([[[[[[[[[[[{"z":0,"z":0}]]]]]]]]]]])").pointer, "/0/0/0/0/0/0/0/0/0/0/0/z");
}

TEST(DuplicateMembers, LaterSiblingsAreExaminedFirst) {
  EXPECT_EQ(parse_error(R"({"p":{"d":1,"d":2},"q":{"e":1,"e":2}})").pointer, "/q/e");
  EXPECT_EQ(parse_error(R"({"d":1,"d":2,"q":{"e":1,"e":2}})").pointer, "/d");
  EXPECT_EQ(parse_error(R"([{"a":[{"x":0,"x":0}]},{"b":{"y":0,"y":0}}])").pointer, "/1/b/y");
  // A container's subtree is finished before its earlier siblings are looked at.
  EXPECT_EQ(parse_error(R"([{"a":0,"a":0},[[{"b":0,"b":0}]]])").pointer, "/1/0/0/b");
}

TEST(DuplicateMembers, FirstRepeatInDocumentOrderWithinOneObject) {
  EXPECT_EQ(parse_error(R"({"a":0,"b":0,"c":0,"b":0,"a":0})").pointer, "/b");
}

TEST(DuplicateMembers, LargeObjectsReportTheFirstRepeatToo) {
  // Beyond a handful of members the check sorts the names; the verdict must not change.
  std::string text = "{";
  for (int i = 0; i < 200; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += R"("k150":0,"k7":0,"k150":1})";
  EXPECT_EQ(parse_error(text).pointer, "/k150");

  std::string distinct = "{";
  for (int i = 0; i < 200; ++i) distinct += "\"k" + std::to_string(i) + "\":[],";
  distinct.back() = '}';
  EXPECT_EQ(parse_document(distinct).root().size(), 200u);

  // Names of equal length that differ only in their last byte are distinct.
  std::string close = "{";
  for (char c = 'A'; c <= 'Z'; ++c) {
    close += std::string("\"same_prefix_") + c + "\":0,";
    close += std::string("\"same_prefix_") + static_cast<char>(c + 32) + "\":0,";
  }
  close.back() = '}';
  EXPECT_TRUE(parse_document(close).root().is_object());
}

TEST(DuplicateMembers, NamesAreComparedByLengthAndBytes) {
  EXPECT_TRUE(parse_document(R"({"a":0,"a\u0000":0,"A":0,"":0})").root().is_object());
  // An escaped spelling of the same name is the same name.
  EXPECT_EQ(parse_error(R"({"a":0,"\u0061":0})").pointer, "/a");
}

// object_chain returns `levels` objects, each the member "o" of the one around it, with
// `inner` at the bottom.
std::string object_chain(int levels, const std::string& inner) {
  std::string text = inner;
  for (int i = 0; i < levels; ++i) text = R"({"o":)" + text + "}";
  return text;
}

// Past a few dozen levels the walk's open containers move to a growing heap block; the
// names an object showed before a deep member must still be known after it.
TEST(DuplicateMembers, NamesBeforeADeepMemberAreRemembered) {
  EXPECT_EQ(parse_error(R"({"a":0,"b":)" + object_chain(60, "0") + R"(,"a":1})").pointer, "/a");
  const std::string deep_repeat = R"({"k":)" + object_chain(20, "[]") + R"(,"k":2})";
  std::string pointer;
  for (int i = 0; i < 45; ++i) pointer += "/o";
  EXPECT_EQ(parse_error(object_chain(45, deep_repeat)).pointer, pointer + "/k");
  EXPECT_TRUE(parse_document(R"({"a":0,"b":)" + object_chain(60, "0") + R"(,"c":1})").root().is_object());
}

TEST(ParseLimits, DepthLimitReachedOnlyAfterADeepSibling) {
  const std::string text = "[" + std::string(40, '[') + std::string(40, ']') + "," +
                           std::string(60, '[') + std::string(60, ']') + "]";
  EXPECT_EQ(parse_error(text, {.max_bytes = text.size(), .max_depth = 60}).code,
            ParseErrorCode::nesting_limit);
  EXPECT_TRUE(parse_document(text, {.max_bytes = text.size(), .max_depth = 61}).root().is_array());
}

TEST(DuplicateMembers, DeepNestingIsWalkedWithoutRecursion) {
  constexpr int kDepth = 100000;
  std::string text(kDepth, '[');
  text += R"({"d":1,"d":2})";
  text += std::string(kDepth, ']');
  const auto error = parse_error(text, {.max_bytes = text.size(), .max_depth = kDepth + 1});
  EXPECT_EQ(error.code, ParseErrorCode::duplicate_member);
  EXPECT_EQ(error.pointer.size(), 2u * kDepth + 2);
}

TEST(RetainedSize, MeasuresDocumentsWithinTheBound) {
  EXPECT_EQ(zu::json::Document{}.retained_bytes(), 0u);
  std::string many_numbers = "[0";
  for (int i = 1; i < 2000; ++i) many_numbers.append(",").append(std::to_string(i));
  many_numbers += "]";
  std::string long_string(10002, 'z');
  long_string.front() = long_string.back() = '"';
  for (const std::string& text : {std::string("1"), std::string(R"({"a":[1,2,3],"b":"text"})"),
                                  many_numbers, long_string}) {
    const auto doc = parse_document(text);
    const std::uint64_t retained = doc.retained_bytes();
    EXPECT_GT(retained, text.size());
    EXPECT_LE(retained, zu::json::retained_size_bound(text.size())) << text.size();
  }
}

TEST(RetainedSize, BoundSaturates) {
  constexpr std::uint64_t kMax = ~std::uint64_t{0};
  EXPECT_EQ(zu::json::retained_size_bound(0), 280u);
  EXPECT_EQ(zu::json::retained_size_bound(1000), 13280u);
  EXPECT_EQ(zu::json::retained_size_bound(0x13B13B13B13B139BULL), 13 * 0x13B13B13B13B139BULL + 280);
  EXPECT_EQ(zu::json::retained_size_bound(0x13B13B13B13B139CULL), kMax);
  EXPECT_EQ(zu::json::retained_size_bound(kMax), kMax);
  EXPECT_EQ(zu::json::retained_size_contract(), 1u);
}

TEST(DocumentOwnership, MovesLeaveTheSourceEmpty) {
  auto doc = parse_document(R"({"a":1})");
  zu::json::Document moved(std::move(doc));
  EXPECT_FALSE(doc.root().valid());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(doc.retained_bytes(), 0u);
  EXPECT_EQ(moved.root().get("a").as_int(), 1);

  auto other = parse_document("[1,2,3]");
  other = std::move(moved);  // releases the array document
  EXPECT_EQ(other.root().get("a").as_int(), 1);
  auto& self = other;
  other = std::move(self);
  EXPECT_EQ(other.root().get("a").as_int(), 1);
}

}  // namespace
