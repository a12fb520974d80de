// The image content block, its detail levels, and the check that an image is what it
// claims to be.
//
//   zu::Image image{.media_type = "image/png",
//                   .data = std::make_shared<const std::string>(base64_text)};
//   if (!zu::valid_image(image, 5 * 1024 * 1024)) { /* refuse the image */ }
//
// Thread safety: both functions only read their arguments; they may run concurrently.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zu/export.hpp"

namespace zu {

// ImageDetail is the resolution at which a provider is asked to look at an image.
enum class ImageDetail : std::int32_t {
  automatic = 0,  // "auto": the provider chooses
  low = 1,        // "low"
  high = 2,       // "high"
  original = 3,   // "original": the image as sent, without downscaling
};

// Image is an image given to the model: its media type and its bytes in standard
// Base64 text. A plain aggregate; copies share `data`.
struct Image {
  // media_type is one of "image/png", "image/jpeg", "image/gif" and "image/webp".
  std::string media_type = "image/png";
  // (nullable) data is the image in standard Base64 with padding; null when absent.
  std::shared_ptr<const std::string> data{};
  ImageDetail detail = ImageDetail::automatic;
};

// image_detail_name returns the wire name of `detail` ("auto", "low", "high" or
// "original"), or an empty view with null data for a value outside the enumeration.
[[nodiscard]] ZU_CORE_EXPORT std::string_view image_detail_name(ImageDetail detail) noexcept;

// valid_image returns true when `image` may be used: it has data, a known detail level,
// canonical standard Base64 (padding only at the end, no whitespace, no URL-safe
// characters, zero bits after the last byte) that decodes to at most
// `max_decoded_bytes` bytes, a media type that is exactly one of the four accepted
// ones, and decoded bytes that begin with that type's signature. It allocates nothing
// and reads the text once.
//
// WARNING: only the first 12 decoded bytes are examined. An image with a valid header
// and a corrupt or truncated body passes; a decoder must still cope with it.
[[nodiscard]] ZU_CORE_EXPORT bool valid_image(const Image& image,
                                              std::uint64_t max_decoded_bytes) noexcept;

}  // namespace zu
