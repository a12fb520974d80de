// Image validation and detail names.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include <zu/core.hpp>

namespace {

// Standard Base64 with padding, written out here so that each test states its image as
// the bytes it decodes to.
std::string base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = 0;
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    for (std::size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k)
      out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

zu::Image image(std::string media_type, std::string text,
                zu::ImageDetail detail = zu::ImageDetail::automatic) {
  return {std::move(media_type), std::make_shared<const std::string>(std::move(text)), detail};
}

// A complete one-pixel PNG, 70 bytes.
const std::string kPixelPng =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==";
constexpr std::uint64_t kPixelPngBytes = 70;
constexpr std::uint64_t kRoomy = 1u << 20;

TEST(ValidImage, APixelPngPassesAtItsOwnSizeAndFailsOneByteBelow) {
  EXPECT_TRUE(zu::valid_image(image("image/png", kPixelPng), kPixelPngBytes));
  EXPECT_FALSE(zu::valid_image(image("image/png", kPixelPng), kPixelPngBytes - 1));
  EXPECT_TRUE(zu::valid_image(image("image/png", kPixelPng),
                              std::numeric_limits<std::uint64_t>::max()));
  EXPECT_FALSE(zu::valid_image(image("image/png", kPixelPng), 0));
}

TEST(ValidImage, MediaTypeMustBeOneOfTheFourExactly) {
  for (const char* type : {"image/jpeg", "IMAGE/PNG", "image/PNG", "image/png; q=1",
                           "image/apng", "", "image/jpg"})
    EXPECT_FALSE(zu::valid_image(image(type, kPixelPng), kRoomy)) << type;
}

TEST(ValidImage, EachTypeNeedsItsSignature) {
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", base64("\xFF\xD8\xFF")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", base64("\xFF\xD8\xFE")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", base64("\xFF\xD8")), kRoomy));

  EXPECT_TRUE(zu::valid_image(image("image/gif", base64("GIF87a")), kRoomy));
  EXPECT_TRUE(zu::valid_image(image("image/gif", base64("GIF89a,rest")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/gif", base64("GIF88a")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/gif", base64("GIF89")), kRoomy));

  EXPECT_TRUE(zu::valid_image(image("image/webp", base64(std::string("RIFF\xFF\x00\x7F\x80WEBP", 12))),
                              kRoomy));
  EXPECT_TRUE(zu::valid_image(image("image/webp", base64("RIFF0000WEBPVP8 ")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/webp", base64("RIFF0000WEBQ")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/webp", base64("RIFF0000WEB")), kRoomy));

  EXPECT_TRUE(zu::valid_image(image("image/png", base64("\x89PNG\r\n\x1A\n")), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/png", base64("\x89PNG\r\n\x1A")), kRoomy));
}

TEST(ValidImage, RefusesMissingEmptyAndMalformedBase64) {
  zu::Image absent = image("image/jpeg", "");
  absent.data = nullptr;
  EXPECT_FALSE(zu::valid_image(absent, kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", ""), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/4A"), kRoomy));     // length 6
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/=j/4AAA"), kRoomy));   // '=' inside
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "_9j_4AAA"), kRoomy));   // URL-safe
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j-4AAA"), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/\r\n4A"), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/ 4AA"), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/4==="), kRoomy));
}

TEST(ValidImage, BitsAfterTheLastByteMustBeZero) {
  // FF D8 FF E0 00 encodes as "/9j/4AA="; a last digit with low bits set is another,
  // non-canonical spelling of the same bytes.
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", "/9j/4AA="), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/4AB="), kRoomy));
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", "/9j/4A=="), kRoomy));
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", "/9j/4Q=="), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/4B=="), kRoomy));
}

TEST(ValidImage, BothTheTextLengthAndTheDecodedSizeAreBounded) {
  // The text may be as long as the Base64 of the largest image, 4 * ceil(max / 3)
  // characters: 8 for a limit of 4 bytes, 4 for a limit of 3.
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", "/9j/4A=="), 4));
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/4A=="), 3));
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", "/9j/"), 3));
  // Eight characters fit a limit of 4, but decode to 5 bytes.
  EXPECT_FALSE(zu::valid_image(image("image/jpeg", "/9j/4AA="), 4));
  EXPECT_TRUE(zu::valid_image(image("image/jpeg", "/9j/4AA="), 5));
}

TEST(ValidImage, DetailMustBeKnown) {
  EXPECT_TRUE(zu::valid_image(image("image/png", kPixelPng, zu::ImageDetail::original), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/png", kPixelPng, zu::ImageDetail{4}), kRoomy));
  EXPECT_FALSE(zu::valid_image(image("image/png", kPixelPng, zu::ImageDetail{-1}), kRoomy));
}

TEST(ImageDetailName, NamesTheFourLevelsAndNothingElse) {
  EXPECT_EQ(zu::image_detail_name(zu::ImageDetail::automatic), "auto");
  EXPECT_EQ(zu::image_detail_name(zu::ImageDetail::low), "low");
  EXPECT_EQ(zu::image_detail_name(zu::ImageDetail::high), "high");
  EXPECT_EQ(zu::image_detail_name(zu::ImageDetail::original), "original");
  const std::string_view unknown = zu::image_detail_name(zu::ImageDetail{4});
  EXPECT_EQ(unknown.data(), nullptr);
  EXPECT_EQ(unknown.size(), 0u);
}

}  // namespace
