// Test helpers: framed streams spelled out byte by byte, and their SHA-256 by OpenSSL's
// one-shot digest, to check the writer against.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "zu/digest.hpp"

namespace zu_test {

inline std::string be64(std::uint64_t value) {
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(value >> (56 - 8 * i));
  return out;
}

inline std::string framed(std::string_view text) { return be64(text.size()) + std::string(text); }

inline zu::Digest sha256(std::string_view stream) {
  zu::Digest out{};
  unsigned int length = 0;
  EVP_Digest(stream.data(), stream.size(), out.data(), &length, EVP_sha256(), nullptr);
  return out;
}

}  // namespace zu_test
