#include "archive/names.hpp"

#include <algorithm>

#include "archive/mac.hpp"

namespace zu::archive {
namespace {

constexpr std::string_view kKeyPrefix = "zuna3:";
constexpr std::string_view kStagingPrefix = ".pending-";
constexpr std::size_t kDigits = 64;

bool lower_hex(char c) noexcept { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// hex_name returns whether `text` is `prefix` followed by 64 lowercase hexadecimal digits.
bool prefixed_digits(std::string_view text, std::string_view prefix) noexcept {
  return text.size() == prefix.size() + kDigits && text.substr(0, prefix.size()) == prefix &&
         std::all_of(text.begin() + static_cast<std::ptrdiff_t>(prefix.size()), text.end(),
                     lower_hex);
}

}  // namespace

std::string hex(const Digest& digest) {
  constexpr char kDigitsOf[] = "0123456789abcdef";
  std::string out;
  out.reserve(kDigits);
  for (const std::uint8_t byte : digest) {
    out.push_back(kDigitsOf[byte >> 4]);
    out.push_back(kDigitsOf[byte & 0x0F]);
  }
  return out;
}

std::string archive_key(const Digest& record_mac) {
  return std::string(kKeyPrefix) + hex(record_mac);
}

std::optional<std::string_view> record_name(std::string_view archive_key) noexcept {
  if (!prefixed_digits(archive_key, kKeyPrefix)) return std::nullopt;
  return archive_key.substr(kKeyPrefix.size());
}

std::string new_staging_name() {
  Digest random{};
  random_bytes(random.data(), random.size());
  return std::string(kStagingPrefix) + hex(random);
}

bool is_staging_name(std::string_view name) noexcept {
  return prefixed_digits(name, kStagingPrefix);
}

}  // namespace zu::archive
