// Canonical JSON hashing: what is fed for each value, and the depth and entry limits.
#include <gtest/gtest.h>

#include <string>

#include "native/json_hash.hpp"
#include "zu/json/writer.hpp"
#include "shared_document.hpp"
#include "stream_bytes.hpp"

namespace {

using zu_test::be64;
using zu_test::framed;
using zu_test::sha256;
using zu_test::shared_document;

zu::descriptor::CodecResources limits(std::uint64_t depth, std::uint64_t entries,
                                      std::uint64_t bytes = 1u << 24) {
  return {.max_digest_bytes = bytes, .max_json_depth = depth, .max_json_entries = entries,
          .max_message_count = 0, .max_block_count = 0};
}

// The digest of a stream holding just the canonical form of `text`, or nothing when
// hashing fails.
std::optional<zu::Digest> hash_of(std::string_view text,
                                  const zu::descriptor::CodecResources& resources) {
  const auto document = shared_document(text);
  zu::digest::Writer writer(resources);
  zu::digest::JsonHasher json;
  json.value(writer, document->root());
  zu::Digest out{};
  if (!writer.finish(out)) return std::nullopt;
  return out;
}

std::optional<zu::Digest> hash_of(std::string_view text) {
  return hash_of(text, limits(64, 1024));
}

TEST(JsonHash, DependsOnTheValueNotOnLayoutOrMemberOrder) {
  const auto a = hash_of(R"({"a":1,"b":[true,null,{"y":"s","x":-2}]})");
  ASSERT_TRUE(a);
  EXPECT_EQ(a, hash_of(R"( { "b" : [ true , null , { "x" : -2 , "y" : "s" } ] , "a" : 1 } )"));
  EXPECT_NE(a, hash_of(R"({"a":1,"b":[null,true,{"y":"s","x":-2}]})"));
}

TEST(JsonHash, ScalarsFeedTheirTagAndContent) {
  EXPECT_EQ(hash_of("null"), sha256(be64(0)));
  EXPECT_EQ(hash_of("false"), sha256(be64(1) + be64(0)));
  EXPECT_EQ(hash_of("true"), sha256(be64(1) + be64(1)));
  EXPECT_EQ(hash_of(R"("")"), sha256(be64(2) + be64(0)));
  EXPECT_EQ(hash_of(R"("a\u0000b")"), sha256(be64(2) + framed(std::string("a\0b", 3))));
  EXPECT_EQ(hash_of("[]"), sha256(be64(6) + be64(0)));
  EXPECT_EQ(hash_of("{}"), sha256(be64(7) + be64(0)));
}

TEST(JsonHash, NumbersTakeTheTagOfTheirClassification) {
  EXPECT_EQ(hash_of("1"), sha256(be64(3) + be64(1)));
  EXPECT_EQ(hash_of("-1"), sha256(be64(4) + be64(0xFFFFFFFFFFFFFFFF)));
  EXPECT_EQ(hash_of("1.0"), sha256(be64(5) + be64(0x3FF0000000000000)));
  EXPECT_NE(hash_of("1"), hash_of("1.0"));
}

// Stored documents are written as text and parsed again on reading; the value read back
// must hash as the value written, for every kind of number the reader tells apart.
TEST(JsonHash, WrittenTextHashesAsTheValueItCameFrom) {
  EXPECT_EQ(hash_of("-0"), sha256(be64(4) + be64(0)));
  for (const char* text :
       {"-0", "[-0,0]", R"({"z":-0,"a":[-0.0,0.0,-0e0]})", "-0.0", "1E308", "-1e-400", "5e-324",
        "18446744073709551615", "18446744073709551616", "-9223372036854775808",
        "-9223372036854775809", "0.1000000000000000055511151231257827", "1.5e+300",
        "123456789012345678901234567890"}) {
    SCOPED_TRACE(text);
    const auto document = shared_document(text);
    std::string written;
    ASSERT_TRUE(zu::json::BoundedWriter({.max_bytes = 1024, .max_depth = 8}, &written)
                    .value(document->root(), 0)
                    .ok());
    EXPECT_EQ(hash_of(written), hash_of(text)) << written;
  }
}

TEST(JsonHash, ObjectKeysAreOrderedAsUnsignedBytesShorterPrefixFirst) {
  // "\u00e9" is C3 A9 in UTF-8 and so sorts after "z"; "a" sorts before "ab".
  EXPECT_EQ(hash_of(R"({"\u00e9":1,"ab":2,"z":3,"a":4})"),
            sha256(be64(7) + be64(4) +                              //
                   framed("a") + be64(3) + be64(4) +                //
                   framed("ab") + be64(3) + be64(2) +               //
                   framed("z") + be64(3) + be64(3) +                //
                   framed("\xC3\xA9") + be64(3) + be64(1)));
}

TEST(JsonHash, EqualKeysKeepTheirDocumentOrder) {
  EXPECT_EQ(hash_of(R"({"k":2,"a":0,"k":1})"),
            sha256(be64(7) + be64(3) + framed("a") + be64(3) + be64(0) + framed("k") + be64(3) +
                   be64(2) + framed("k") + be64(3) + be64(1)));
  EXPECT_NE(hash_of(R"({"k":2,"k":1})"), hash_of(R"({"k":1,"k":2})"));
}

TEST(JsonHash, LargeObjectsSortLikeSmallOnes) {
  // Past a handful of members the sort changes method; order and ties must not.
  std::string forward = "{", backward = "{";
  for (int i = 0; i < 40; ++i) {
    if (i != 0) {
      forward += ',';
      backward += ',';
    }
    forward += "\"k" + std::to_string(i) + "\":" + std::to_string(i);
    backward += "\"k" + std::to_string(39 - i) + "\":" + std::to_string(39 - i);
  }
  EXPECT_EQ(hash_of(forward + "}"), hash_of(backward + "}"));
  EXPECT_EQ(hash_of(forward + R"(,"dup":1,"dup":2})"), hash_of(backward + R"(,"dup":1,"dup":2})"));
  EXPECT_NE(hash_of(forward + R"(,"dup":1,"dup":2})"), hash_of(forward + R"(,"dup":2,"dup":1})"));
}

TEST(JsonHash, ValuesAtTheDepthLimitPassAndOneLevelDeeperFails) {
  const auto depth2 = limits(2, 8);
  EXPECT_TRUE(hash_of("[[[]]]", depth2));
  EXPECT_TRUE(hash_of(R"({"a":{"b":{}}})", depth2));
  EXPECT_FALSE(hash_of("[[[1]]]", depth2));
  EXPECT_FALSE(hash_of(R"([{"b":{"c":null}}])", depth2));

  const auto depth0 = limits(0, 8);
  EXPECT_TRUE(hash_of("[]", depth0));
  EXPECT_TRUE(hash_of("\"scalar\"", depth0));
  EXPECT_FALSE(hash_of("[0]", depth0));
}

TEST(JsonHash, ContainersOfExactlyTheEntryLimitPassAndOneMoreFails) {
  const auto three = limits(8, 3);
  EXPECT_TRUE(hash_of("[1,2,3]", three));
  EXPECT_FALSE(hash_of("[1,2,3,4]", three));
  EXPECT_TRUE(hash_of(R"({"a":1,"b":2,"c":3})", three));
  EXPECT_FALSE(hash_of(R"({"a":1,"b":2,"c":3,"d":4})", three));
  EXPECT_FALSE(hash_of("[[1,2,3,4]]", three));
}

TEST(JsonHash, AnOverBudgetDocumentFails) {
  // Tag, size, then each element's 16 bytes: 16 + 3 * 16 = 64 bytes.
  EXPECT_TRUE(hash_of("[1,2,3]", limits(8, 8, 64)));
  EXPECT_FALSE(hash_of("[1,2,3]", limits(8, 8, 63)));
}

TEST(JsonHash, AnEmptyDocumentFails) {
  const auto resources = limits(8, 8);
  zu::digest::Writer writer(resources);
  zu::digest::JsonHasher json;
  json.document(writer, std::make_shared<const zu::json::Document>());
  EXPECT_FALSE(writer.ok());
}

TEST(JsonHash, VeryDeepDocumentsDoNotExhaustTheStack) {
  constexpr int kDepth = 200000;
  const std::string text = std::string(kDepth, '[') + std::string(kDepth, ']');
  EXPECT_TRUE(hash_of(text, limits(kDepth, 1)));
  EXPECT_FALSE(hash_of(text, limits(kDepth - 2, 1)));
}

TEST(JsonHash, AHasherReusedAfterAnAbandonedWalkStartsClean) {
  const auto document = shared_document(R"({"b":[{"d":1,"c":2}],"a":{"f":3,"e":[4,5,6]}})");
  zu::digest::JsonHasher json;
  {
    // Fails inside the innermost array, leaving open frames and members behind.
    const auto narrow = limits(8, 2);
    zu::digest::Writer writer(narrow);
    json.value(writer, document->root());
    ASSERT_FALSE(writer.ok());
  }
  const auto resources = limits(8, 8);
  zu::digest::Writer writer(resources);
  json.value(writer, document->root());
  zu::Digest reused{};
  ASSERT_TRUE(writer.finish(reused));
  EXPECT_EQ(reused, hash_of(R"({"a":{"e":[4,5,6],"f":3},"b":[{"c":2,"d":1}]})", resources));
}

}  // namespace
