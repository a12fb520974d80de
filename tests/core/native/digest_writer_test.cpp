// The framing primitives and the budget of the digest writer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "native/digest_writer.hpp"
#include "stream_bytes.hpp"

namespace {

using zu_test::be64;
using zu_test::framed;
using zu_test::sha256;

zu::descriptor::CodecResources budget(std::uint64_t max_digest_bytes) {
  return {.max_digest_bytes = max_digest_bytes, .max_json_depth = 8, .max_json_entries = 8,
          .max_message_count = 0, .max_block_count = 0};
}

zu::Digest finished(zu::digest::Writer& writer) {
  zu::Digest out{};
  EXPECT_TRUE(writer.finish(out));
  return out;
}

TEST(DigestWriter, EmptyTextFeedsOnlyItsZeroLength) {
  const auto resources = budget(1024);
  zu::digest::Writer writer(resources);
  writer.bytes("");
  EXPECT_EQ(writer.fed(), 8u);
  EXPECT_EQ(finished(writer), sha256(std::string(8, '\0')));
}

TEST(DigestWriter, PrimitivesFrameAsBigEndianWordsAndLengthPrefixedBytes) {
  const auto resources = budget(1024);
  zu::Digest prior{};
  for (std::size_t i = 0; i < prior.size(); ++i) prior[i] = static_cast<std::uint8_t>(i);

  zu::digest::Writer writer(resources);
  writer.bytes("zu.test.v1");
  writer.u64(0x0102030405060708);
  writer.boolean(true);
  writer.raw32(prior);
  writer.sign_extended(std::int32_t{-2});
  writer.zero_extended(std::uint32_t{0xFFFFFFFE});
  writer.optional(std::optional<std::string>("x"));
  writer.optional(std::optional<bool>());
  writer.optional(std::optional<std::uint64_t>(7));
  writer.list({"a", "bc"});

  const std::string expected = framed("zu.test.v1") + be64(0x0102030405060708) + be64(1) +
                               std::string(prior.begin(), prior.end()) +
                               be64(0xFFFFFFFFFFFFFFFE) + be64(0xFFFFFFFE) + be64(1) +
                               framed("x") + be64(0) + be64(1) + be64(7) + be64(2) +
                               framed("a") + framed("bc");
  EXPECT_EQ(writer.fed(), expected.size());
  EXPECT_EQ(finished(writer), sha256(expected));
}

TEST(DigestWriter, PiecesOfEverySizeAroundTheBufferGiveTheOneShotDigest) {
  const auto resources = budget(1u << 24);
  std::string expected;
  zu::digest::Writer writer(resources);
  for (std::size_t size : {1u, 4087u, 4088u, 4089u, 4095u, 4096u, 4097u, 3u, 8192u, 12289u}) {
    const std::string piece(size, static_cast<char>('a' + size % 26));
    writer.bytes(piece);
    writer.u64(size);
    expected += framed(piece) + be64(size);
  }
  EXPECT_EQ(finished(writer), sha256(expected));
}

TEST(DigestWriter, StreamOfExactlyTheBudgetSucceedsAndOneByteMoreFails) {
  // bytes("hello") is 13 bytes, u64 8 more.
  const auto exact = budget(21);
  zu::digest::Writer fits(exact);
  fits.bytes("hello");
  fits.u64(1);
  EXPECT_TRUE(fits.ok());
  EXPECT_EQ(finished(fits), sha256(framed("hello") + be64(1)));

  const auto short_by_one = budget(20);
  zu::digest::Writer over(short_by_one);
  over.bytes("hello");
  over.u64(1);
  EXPECT_FALSE(over.ok());
  zu::Digest out;
  out.fill(0x5A);
  const zu::Digest before = out;
  EXPECT_FALSE(over.finish(out));
  EXPECT_EQ(out, before);
}

TEST(DigestWriter, NothingIsFedAfterAFailure) {
  const auto resources = budget(12);
  zu::digest::Writer writer(resources);
  writer.bytes("hello");  // the length fits, the text does not
  EXPECT_FALSE(writer.ok());
  const std::uint64_t fed = writer.fed();
  writer.u64(1);
  writer.raw32(zu::Digest{});
  EXPECT_EQ(writer.fed(), fed);
}

TEST(DigestWriter, ExplicitFailureAndASecondFinishFail) {
  const auto resources = budget(1024);
  zu::digest::Writer failed(resources);
  failed.u64(1);
  failed.fail();
  zu::Digest out{};
  EXPECT_FALSE(failed.finish(out));

  zu::digest::Writer twice(resources);
  twice.u64(1);
  EXPECT_TRUE(twice.finish(out));
  EXPECT_FALSE(twice.finish(out));
}

TEST(DigestWriter, ListStopsAtTheBudget) {
  // The count and the first text fit; the second text does not.
  const auto resources = budget(8 + 9 + 8);
  zu::digest::Writer writer(resources);
  writer.list({"a", "b", "c"});
  EXPECT_FALSE(writer.ok());
  EXPECT_EQ(writer.fed(), 8u + 9u + 8u);
}

}  // namespace
