// The writer renders reals and validates UTF-8 itself; quote() and dump() ask the reader
// library. These tests hold the two to the same bytes over large, systematic samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <zu/json.hpp>

#include "json_helpers.hpp"

namespace {

using zu::json::BoundedWriter;
using zu::testing::parse_document;

constexpr zu::json::Limits kLimits{.max_bytes = 1u << 26, .max_depth = 8};

std::vector<double> sample_reals() {
  std::vector<double> values;
  for (int e = -330; e <= 308; ++e) {
    const double p = std::pow(10.0, e);
    values.insert(values.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY), 1.5 * p, 123.456 * p});
  }
  for (double v : {0.0, -0.0, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 9007199254740992.0,
                   9007199254740993.0, 1e21, 999999999999999999999.0, 1e-6, 9.999999999999999e-7, 0.1, 0.3}) {
    values.push_back(v);
    values.push_back(-v);
  }
  std::mt19937_64 rng(20261208);
  while (values.size() < 200000) {
    std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    // Short decimals, the kind people and models write.
    values.push_back(static_cast<double>(rng() % 100000) / std::pow(10.0, static_cast<double>(rng() % 12)));
  }
  std::erase_if(values, [](double v) { return !std::isfinite(v); });
  return values;
}

TEST(RealRendering, MatchesTheLibraryWriter) {
  std::string text = "[";
  char buffer[40];
  for (double v : sample_reals()) {
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    text += buffer;
    // Integral values print without a fraction; keep them reals.
    if (std::strpbrk(buffer, ".e") == nullptr) text += ".0";
    text += ',';
  }
  text.back() = ']';
  const auto doc = parse_document(text, {.max_bytes = text.size(), .max_depth = 1});
  std::size_t checked = 0;
  for (zu::json::Value v : doc.root().elements()) {
    ASSERT_TRUE(v.is_number() && !v.is_int());
    std::string out;
    ASSERT_TRUE(BoundedWriter(kLimits, &out).value(v, 0).ok());
    ASSERT_EQ(out, v.dump()) << v.as_double();
    ++checked;
  }
  EXPECT_GE(checked, 190000u);
}

// quoted() and quote() must agree on every byte sequence: accept the same ones and write
// the same bytes. Each sequence is tried alone, and inside texts long enough for the
// block-at-a-time paths, straddling a 16-byte block boundary and near the end.
void expect_same_verdict(const std::string& sequence) {
  for (const std::string& text : {sequence, std::string(37, 'a') + sequence + "tail",
                                  std::string(14, 'a') + sequence + std::string(60, 'b'),
                                  std::string(62, 'a') + sequence + "xyz"}) {
    const std::string expected = zu::json::quote(text);
    std::string out;
    const bool ok = BoundedWriter(kLimits, &out).quoted(text).ok();
    ASSERT_EQ(ok, !expected.empty()) << testing::PrintToString(text);
    if (ok) {
      ASSERT_EQ(out, expected);
    }
    ASSERT_EQ(BoundedWriter(kLimits, nullptr).quoted(text).ok(), ok);
  }
}

TEST(Utf8Validation, EveryOneAndTwoByteSequence) {
  for (int a = 0; a < 256; ++a) {
    expect_same_verdict(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b) expect_same_verdict({static_cast<char>(a), static_cast<char>(b)});
  }
}

TEST(Utf8Validation, ThreeAndFourByteSequencesAtEveryBoundary) {
  // Every lead byte with every second byte, and later bytes on both sides of the
  // continuation range.
  const int later[] = {0x00, 0x41, 0x7F, 0x80, 0x81, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xF5, 0xFF};
  for (int a = 0xC0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      for (int c : later) {
        expect_same_verdict({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
        if (a >= 0xF0) {
          for (int d : {0x41, 0x80, 0xBF, 0xC0}) {
            expect_same_verdict({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                                 static_cast<char>(d)});
          }
        }
      }
    }
  }
}

TEST(Utf8Validation, TruncatedSequencesAtTheEnd) {
  for (const char* text : {"ok \xE2\x82", "ok \xF0\x9F\x98", "ok \xC3", "\xF0"}) expect_same_verdict(text);
  // Long texts ending inside a character, at every distance from a block boundary.
  for (std::size_t lead = 60; lead < 80; ++lead) {
    for (const char* open : {"\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xE2", "\xF0\x9F"}) {
      const std::string text = std::string(lead, 'a') + open;
      std::string out;
      EXPECT_FALSE(BoundedWriter(kLimits, &out).quoted(text).ok()) << lead;
      EXPECT_EQ(zu::json::quote(text), "");
    }
  }
}

TEST(Utf8Validation, LongMixedTextsAgree) {
  // Random mixes of ASCII and well-formed characters of every length, each then broken
  // at one random byte: long enough for the vector path, which must agree with the
  // library on all of them.
  std::mt19937 rng(99);
  const std::string units[] = {"a", "Z", " ", "\xC3\xA9", "\xDF\xBF", "\xE2\x82\xAC", "\xEF\xBF\xBF",
                               "\xED\x9F\xBF", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xE0\xA0\x80"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t length = 64 + rng() % 200;
    while (text.size() < length) text += units[rng() % std::size(units)];
    expect_same_verdict(text);
    text[rng() % text.size()] = static_cast<char>(rng() % 256);
    expect_same_verdict(text);
  }
}

}  // namespace
