// BoundedWriter, quote() and dump(): the budget at token boundaries, the escaping tables,
// chunking of long literals, measuring mode, and the depth limit.
#include <gtest/gtest.h>

#include <string>

#include <zu/json.hpp>

#include "json_helpers.hpp"

namespace {

using zu::json::BoundedWriter;
using zu::json::Limits;
using zu::testing::parse_document;

constexpr Limits budget(std::uint64_t bytes, std::uint64_t depth = 64) {
  return {.max_bytes = bytes, .max_depth = depth};
}

TEST(WriterBudget, CountsWhatTheStringAlreadyHolds) {
  std::string out(10, 'x');
  BoundedWriter writer(budget(5), &out);
  EXPECT_FALSE(writer.ok());
  writer.raw("a").quoted("b");
  EXPECT_EQ(out, std::string(10, 'x'));

  std::string partial = "ab";
  BoundedWriter exact(budget(5), &partial);
  EXPECT_TRUE(exact.raw("cde").ok());
  EXPECT_EQ(exact.used(), 5u);
  EXPECT_FALSE(exact.raw("f").ok());
  EXPECT_EQ(partial, "abcde");
}

TEST(WriterBudget, RawNeedsRoomForAllOfIt) {
  std::string out;
  BoundedWriter short_of_room(budget(2), &out);
  EXPECT_FALSE(short_of_room.raw("abc").ok());
  EXPECT_EQ(out, "");

  BoundedWriter just_enough(budget(3), &out);
  EXPECT_TRUE(just_enough.raw("abc").ok());
  EXPECT_EQ(out, "abc");
  EXPECT_TRUE(just_enough.raw("").ok());
  EXPECT_FALSE(just_enough.raw("d").ok());
  // Once failed, it never recovers, even for empty text.
  EXPECT_FALSE(just_enough.raw("").ok());
}

TEST(WriterBudget, QuotedClaimsTheWholeLiteralFirst) {
  std::string out;
  EXPECT_FALSE(BoundedWriter(budget(5), &out).quoted("a\"b").ok());
  EXPECT_EQ(out, "");
  EXPECT_TRUE(BoundedWriter(budget(6), &out).quoted("a\"b").ok());
  EXPECT_EQ(out, R"("a\"b")");
}

TEST(WriterBudget, FailuresEndAtTokenBoundaries) {
  const auto doc = parse_document(R"({"name":"value","list":[1,22,333],"t":true})");
  const std::string full = doc.root().dump();
  for (std::uint64_t max = 0; max < full.size(); ++max) {
    std::string out;
    BoundedWriter writer(budget(max), &out);
    writer.value(doc.root(), 0);
    ASSERT_FALSE(writer.ok()) << max;
    ASSERT_LE(out.size(), max);
    ASSERT_EQ(full.compare(0, out.size(), out), 0) << out;
    // The next token is what did not fit: nothing of it was written.
    static const std::string boundaries[] = {"", "{", "{\"name\"", "{\"name\":", "{\"name\":\"value\"",
                                             "{\"name\":\"value\",", "{\"name\":\"value\",\"list\"",
                                             "{\"name\":\"value\",\"list\":", "{\"name\":\"value\",\"list\":[",
                                             "{\"name\":\"value\",\"list\":[1", "{\"name\":\"value\",\"list\":[1,",
                                             "{\"name\":\"value\",\"list\":[1,22", "{\"name\":\"value\",\"list\":[1,22,",
                                             "{\"name\":\"value\",\"list\":[1,22,333", "{\"name\":\"value\",\"list\":[1,22,333]",
                                             "{\"name\":\"value\",\"list\":[1,22,333],",
                                             "{\"name\":\"value\",\"list\":[1,22,333],\"t\"",
                                             "{\"name\":\"value\",\"list\":[1,22,333],\"t\":",
                                             "{\"name\":\"value\",\"list\":[1,22,333],\"t\":true"};
    bool at_boundary = false;
    for (const auto& b : boundaries) at_boundary |= (b == out);
    EXPECT_TRUE(at_boundary) << out;
  }
  std::string out;
  EXPECT_TRUE(BoundedWriter(budget(full.size()), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, full);
}

TEST(WriterEscaping, EveryAsciiByteMatchesTheLibraryRendering) {
  // The all-ASCII path renders itself; it must agree with quote() byte for byte.
  for (int c = 0; c < 0x80; ++c) {
    const std::string text = std::string("a") + static_cast<char>(c) + "z";
    std::string out;
    ASSERT_TRUE(BoundedWriter(budget(64), &out).quoted(text).ok()) << c;
    EXPECT_EQ(out, zu::json::quote(text)) << c;
    EXPECT_EQ(out, zu::json::quote(text + "\xC3\xA9").substr(0, out.size() - 1) + "\"") << c;
  }
}

TEST(WriterEscaping, PlainTable) {
  EXPECT_EQ(zu::json::quote(std::string("\"\\\b\t\n\f\r", 7)), R"("\"\\\b\t\n\f\r")");
  EXPECT_EQ(zu::json::quote(std::string("\x00\x1F\x7F/", 4)), std::string("\"\\u0000\\u001F\x7F/\""));
  std::string out;
  BoundedWriter(budget(64), &out).quoted("\x1F");
  EXPECT_EQ(out, "\"\\u001F\"");
  EXPECT_EQ(zu::json::quote("\xC3\xA9\xE2\x82\xAC"), "\"\xC3\xA9\xE2\x82\xAC\"");
}

TEST(WriterEscaping, EmbeddedTable) {
  const auto doc = parse_document(R"(["q\"b\\c\u001F\n\u0001/"])");
  std::string out;
  ASSERT_TRUE(BoundedWriter(budget(256), &out).quoted_json(doc.root()).ok());
  EXPECT_EQ(out, R"("[\"q\\\"b\\\\c\\u001f\\n\\u0001/\"]")");
  // The content of the literal is the compact text of the value.
  const auto reparsed = parse_document(out);
  const auto inner = parse_document(reparsed.root().as_string());
  EXPECT_TRUE(zu::json::equal(inner.root(), doc.root()));
}

TEST(WriterEscaping, QuotedJsonOfOneString) {
  const auto doc = parse_document(R"(["x"])");
  std::string out;
  ASSERT_TRUE(BoundedWriter(budget(9), &out).quoted_json(doc.root()).ok());
  EXPECT_EQ(out, R"("[\"x\"]")");
  EXPECT_EQ(out.size(), 9u);
  std::string short_out;
  EXPECT_FALSE(BoundedWriter(budget(8), &short_out).quoted_json(doc.root()).ok());
}

TEST(WriterEscaping, QuotedJsonDiffersFromQuotedDumpOnlyInHexCase) {
  const auto doc = parse_document(R"({"k\u0002":[1,-2,0.5,true,null,"a\u001Bb"],"e":{}})");
  std::string out;
  ASSERT_TRUE(BoundedWriter(budget(512), &out).quoted_json(doc.root()).ok());
  std::string expected = zu::json::quote(doc.root().dump());
  for (std::string::size_type at = 0; (at = expected.find("\\\\u00", at)) != std::string::npos; at += 5) {
    for (std::size_t i = at + 5; i < at + 7; ++i) expected[i] = static_cast<char>(std::tolower(expected[i]));
  }
  EXPECT_EQ(out, expected);
}

TEST(WriterUtf8, InvalidTextFailsInWritingAndMeasuring) {
  for (const char* bad : {"\xC3", "a\xFF", "\xED\xA0\x80", "\xC0\x80"}) {
    std::string out;
    EXPECT_FALSE(BoundedWriter(budget(64), &out).quoted(bad).ok()) << bad;
    EXPECT_FALSE(BoundedWriter(budget(64), nullptr).quoted(bad).ok()) << bad;
    EXPECT_EQ(zu::json::quote(bad), "");
  }
  EXPECT_EQ(zu::json::quote(""), "\"\"");
  EXPECT_EQ(zu::json::quote(std::string_view{}), "\"\"");
  EXPECT_EQ(zu::json::quote(std::string_view(nullptr, 0)), "\"\"");
}

TEST(WriterUtf8, LongLiteralsAreCutAtCharacterBoundaries) {
  // Two-, three- and four-byte characters, with the 4096-byte cut landing inside them.
  for (const std::string& unit : {std::string("\xC3\xA9"), std::string("\xE2\x82\xAC"),
                                 std::string("\xF0\x9F\x98\x80")}) {
    for (std::size_t lead = 0; lead < 4; ++lead) {
      std::string text(lead, 'a');
      while (text.size() < 10000) text += unit;
      text += "\"\n";
      std::string out;
      ASSERT_TRUE(BoundedWriter(budget(1 << 20), &out).quoted(text).ok());
      EXPECT_EQ(out, zu::json::quote(text));
      BoundedWriter measure(budget(1 << 20), nullptr);
      EXPECT_TRUE(measure.quoted(text).ok());
      EXPECT_EQ(measure.used(), out.size());
    }
  }
  // Invalid bytes past the first chunk still fail the literal.
  std::string late_error(5000, 'a');
  late_error += "\xC3\xA9\xFF";
  std::string out;
  EXPECT_FALSE(BoundedWriter(budget(1 << 20), &out).quoted(late_error).ok());
  EXPECT_FALSE(BoundedWriter(budget(1 << 20), nullptr).quoted(late_error).ok());
  // A stretch longer than a chunk made of continuation bytes alone cannot be cut.
  EXPECT_FALSE(BoundedWriter(budget(1 << 20), nullptr).quoted(std::string(5000, '\x80')).ok());
}

TEST(WriterMeasuring, ComputesTheExactSize) {
  const auto doc = parse_document(R"({"text":"line\nnext \u0001 \u00e9","n":[1.25,-3,1e300]})");
  std::string out;
  BoundedWriter writer(budget(4096), &out);
  writer.value(doc.root(), 0);
  BoundedWriter measure(budget(4096), nullptr);
  measure.value(doc.root(), 0);
  EXPECT_TRUE(measure.ok());
  EXPECT_EQ(measure.used(), out.size());

  BoundedWriter too_small(budget(out.size() - 1), nullptr);
  EXPECT_FALSE(too_small.value(doc.root(), 0).ok());
}

TEST(WriterValue, MatchesDumpForEveryKind) {
  const auto doc = parse_document(
      R"({"a":[1,-1,0,18446744073709551615,-9223372036854775808,1.5,-0.0,1e-7,123456789012345678901234567890],)"
      R"("b":{"c":[true,false,null],"d":""},"e":"\u00e9\ud83d\ude00\u2028"})");
  std::string out;
  ASSERT_TRUE(BoundedWriter(budget(4096), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, doc.root().dump());
  EXPECT_TRUE(zu::json::equal(parse_document(out).root(), doc.root()));
  // Measuring renders token by token; it must count exactly the same text.
  BoundedWriter counted(budget(4096), nullptr);
  EXPECT_EQ(counted.value(doc.root(), 0).used(), out.size());
}

// The reader keeps "-0" as a signed integer, apart from the unsigned 0; written as "0" it
// would read back as the other kind. Every path that renders a number keeps the sign:
// a lone scalar, a container written whole, measuring, quoted_json and dump().
TEST(WriterValue, SignedZeroKeepsItsSignThroughEveryPath) {
  const auto doc = parse_document(R"([-0,{"a":-0,"b":[0,-0.0,-0]},0])");
  const std::string expected = R"([-0,{"a":-0,"b":[0,-0.0,-0]},0])";
  std::string out;
  ASSERT_TRUE(BoundedWriter(budget(4096), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(doc.root().dump(), expected);
  EXPECT_EQ(BoundedWriter(budget(4096), nullptr).value(doc.root(), 0).used(), expected.size());

  std::string scalar;
  ASSERT_TRUE(BoundedWriter(budget(2), &scalar).value(doc.root().at(0), 0).ok());
  EXPECT_EQ(scalar, "-0");
  EXPECT_EQ(doc.root().at(0).dump(), "-0");
  std::string embedded;
  ASSERT_TRUE(BoundedWriter(budget(4096), &embedded).quoted_json(doc.root().at(1)).ok());
  EXPECT_EQ(embedded, R"("{\"a\":-0,\"b\":[0,-0.0,-0]}")");

  const auto reread = parse_document(out);
  for (const zu::json::Value zero : {reread.root().at(0), reread.root().at(1).get("a")}) {
    EXPECT_TRUE(zero.is_int());
    EXPECT_FALSE(zero.is_uint());
  }
  EXPECT_TRUE(reread.root().at(2).is_uint());
}

// A budget that ends inside the container still fails at a token boundary when the
// container cannot be written whole.
TEST(WriterValue, SignedZeroUnderATightBudget) {
  const auto doc = parse_document("[1,-0]");
  std::string out;
  EXPECT_FALSE(BoundedWriter(budget(4), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, "[1,");
  out.clear();
  EXPECT_FALSE(BoundedWriter(budget(5), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, "[1,-0");
  out.clear();
  EXPECT_TRUE(BoundedWriter(budget(6), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, "[1,-0]");
}

TEST(WriterValue, DepthLimit) {
  const auto doc = parse_document("[[1]]");
  std::string out;
  EXPECT_FALSE(BoundedWriter(budget(64, 1), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, "[");
  out.clear();
  EXPECT_TRUE(BoundedWriter(budget(64, 2), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, "[[1]]");
  // The caller's starting depth counts.
  out.clear();
  EXPECT_FALSE(BoundedWriter(budget(64, 2), &out).value(doc.root(), 1).ok());
  // Scalars need no depth at all.
  out.clear();
  EXPECT_TRUE(BoundedWriter(budget(64, 0), &out).value(doc.root().at(0).at(0), 0).ok());
  EXPECT_EQ(out, "1");
}

TEST(WriterValue, DeepDocumentsRenderWithoutRecursion) {
  constexpr std::size_t kDepth = 200000;
  const std::string text = std::string(kDepth, '[') + std::string(kDepth, ']');
  const auto doc = parse_document(text, {.max_bytes = text.size(), .max_depth = kDepth});
  std::string out;
  ASSERT_TRUE(BoundedWriter(budget(text.size(), kDepth), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, text);
}

// nested returns `levels` arrays, each the only element of the one around it.
std::string nested(std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// with_siblings returns a value `levels` containers deep where every container has more
// entries after the one that leads down, alternating objects and arrays.
std::string with_siblings(int levels) {
  std::string text = "0";
  for (int i = 0; i < levels; ++i) {
    text = i % 2 == 0 ? R"({"a":)" + text + R"(,"b":[1,"x"],"c":{"d":null}})"
                      : "[" + text + R"(,true,[2],{"e":3}])";
  }
  return text;
}

// Past a few dozen levels the renderer's open containers move to a growing heap block;
// each container must still go on after its deep entry.
TEST(WriterValue, ContainersGoOnAfterDeepEntries) {
  const std::string text = with_siblings(80);
  const auto doc = parse_document(text);
  BoundedWriter measure(budget(1 << 20, 256), nullptr);
  EXPECT_EQ(measure.value(doc.root(), 0).used(), text.size());

  std::string quoted;
  ASSERT_TRUE(BoundedWriter(budget(1 << 20, 256), &quoted).quoted_json(doc.root()).ok());
  std::string expected = "\"";
  for (char c : text) expected += c == '"' ? std::string("\\\"") : std::string(1, c);
  expected += '"';
  EXPECT_EQ(quoted, expected);

  // One byte short, the text is rendered token by token and stops before the last one.
  std::string out;
  EXPECT_FALSE(BoundedWriter(budget(text.size() - 1, 256), &out).value(doc.root(), 0).ok());
  EXPECT_EQ(out, text.substr(0, text.size() - 1));
}

TEST(WriterValue, DepthLimitReachedOnlyAfterADeepSibling) {
  const std::string text = "[" + nested(40) + "," + nested(60) + "]";
  const auto doc = parse_document(text);
  for (const bool measuring : {false, true}) {
    SCOPED_TRACE(measuring ? "measuring" : "writing");
    std::string out;
    std::string* target = measuring ? nullptr : &out;
    EXPECT_FALSE(BoundedWriter(budget(1 << 20, 60), target).value(doc.root(), 0).ok());
    out.clear();
    EXPECT_TRUE(BoundedWriter(budget(1 << 20, 61), target).value(doc.root(), 0).ok());
    if (!measuring) {
      EXPECT_EQ(out, text);
    }
  }
}

TEST(WriterValue, InvalidValueFails) {
  std::string out;
  EXPECT_FALSE(BoundedWriter(budget(64), &out).value(zu::json::Value{}, 0).ok());
  EXPECT_FALSE(BoundedWriter(budget(64), &out).quoted_json(zu::json::Value{}).ok());
  EXPECT_EQ(out, "\"");  // quoted_json opened its literal before it saw the value
}

TEST(WriterChaining, OperationsComposeIntoOneDocument) {
  const auto doc = parse_document(R"({"x":[1,"two"]})");
  std::string out;
  BoundedWriter writer(budget(128), &out);
  writer.raw("{").quoted("doc").raw(":").value(doc.root(), 1).raw(",").quoted("text").raw(":")
      .quoted_json(doc.root()).raw("}");
  ASSERT_TRUE(writer.ok());
  EXPECT_EQ(out, R"({"doc":{"x":[1,"two"]},"text":"{\"x\":[1,\"two\"]}"})");
  EXPECT_EQ(writer.used(), out.size());
}

}  // namespace
