// Image validation: canonical standard Base64 of a bounded size whose first decoded
// bytes carry the signature of the declared media type.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zu/image.hpp"

namespace zu {
namespace {

constexpr std::uint8_t kNotBase64 = 0xFF;

// The value of each standard Base64 character, or kNotBase64. '=' is not in the table:
// padding is found by position, never by lookup.
constexpr std::array<std::uint8_t, 256> make_alphabet() {
  std::array<std::uint8_t, 256> table{};
  table.fill(kNotBase64);
  constexpr std::string_view digits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < digits.size(); ++i)
    table[static_cast<unsigned char>(digits[i])] = static_cast<std::uint8_t>(i);
  return table;
}

constexpr std::array<std::uint8_t, 256> kAlphabet = make_alphabet();

std::uint8_t sextet(char c) noexcept { return kAlphabet[static_cast<unsigned char>(c)]; }

constexpr std::size_t kHeaderBytes = 12;

struct Signature {
  std::string_view media_type;
  std::size_t needed;  // decoded bytes the check reads
  bool (*matches)(const std::array<std::uint8_t, kHeaderBytes>&);
};

bool png(const std::array<std::uint8_t, kHeaderBytes>& b) {
  return b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G' && b[4] == 0x0D &&
         b[5] == 0x0A && b[6] == 0x1A && b[7] == 0x0A;
}
bool jpeg(const std::array<std::uint8_t, kHeaderBytes>& b) {
  return b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}
bool gif(const std::array<std::uint8_t, kHeaderBytes>& b) {
  return b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8' && (b[4] == '7' || b[4] == '9') &&
         b[5] == 'a';
}
bool webp(const std::array<std::uint8_t, kHeaderBytes>& b) {
  // Bytes 4 to 7 are the RIFF chunk size, which says nothing about the format.
  return b[0] == 'R' && b[1] == 'I' && b[2] == 'F' && b[3] == 'F' && b[8] == 'W' &&
         b[9] == 'E' && b[10] == 'B' && b[11] == 'P';
}

constexpr std::array<Signature, 4> kSignatures{{
    {"image/png", 8, png},
    {"image/jpeg", 3, jpeg},
    {"image/gif", 6, gif},
    {"image/webp", 12, webp},
}};

}  // namespace

std::string_view image_detail_name(ImageDetail detail) noexcept {
  switch (detail) {
    case ImageDetail::automatic: return "auto";
    case ImageDetail::low: return "low";
    case ImageDetail::high: return "high";
    case ImageDetail::original: return "original";
  }
  return {};
}

bool valid_image(const Image& image, std::uint64_t max_decoded_bytes) noexcept {
  if (!image.data) return false;
  const auto detail = static_cast<std::int32_t>(image.detail);
  if (detail < 0 || detail > 3) return false;

  const std::string_view text = *image.data;
  const std::uint64_t length = text.size();
  // L <= 4 * ceil(max / 3), compared as groups of four so no limit can overflow.
  const std::uint64_t max_groups = max_decoded_bytes / 3 + (max_decoded_bytes % 3 != 0 ? 1 : 0);
  if (length == 0 || length % 4 != 0 || length / 4 > max_groups) return false;

  std::size_t padding = 0;
  if (text[length - 1] == '=') padding = text[length - 2] == '=' ? 2 : 1;

  const std::size_t data_chars = text.size() - padding;
  for (std::size_t i = 0; i < data_chars; ++i)
    if (sextet(text[i]) == kNotBase64) return false;

  // Canonical form: the bits past the last encoded byte must be zero, so each image has
  // exactly one accepted encoding.
  if (padding != 0) {
    const std::uint8_t last = sextet(text[data_chars - 1]);
    const std::uint8_t unused_bits = padding == 1 ? 0x03 : 0x0F;
    if ((last & unused_bits) != 0) return false;
  }

  const std::uint64_t decoded = (length / 4) * 3 - padding;
  if (decoded > max_decoded_bytes) return false;

  std::array<std::uint8_t, kHeaderBytes> header{};
  const std::size_t header_bytes = decoded < kHeaderBytes ? static_cast<std::size_t>(decoded)
                                                          : kHeaderBytes;
  for (std::size_t out = 0, in = 0; out < header_bytes; out += 3, in += 4) {
    // Padding characters in the last group read as zero; the bytes they stand for lie
    // at or past `decoded` and are not produced.
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t at = in + k;
      group = (group << 6) | (at < data_chars ? sextet(text[at]) : 0u);
    }
    for (std::size_t k = 0; k < 3 && out + k < header_bytes; ++k)
      header[out + k] = static_cast<std::uint8_t>(group >> (16 - 8 * k));
  }

  for (const Signature& signature : kSignatures) {
    if (image.media_type != signature.media_type) continue;
    return decoded >= signature.needed && signature.matches(header);
  }
  return false;
}

}  // namespace zu
