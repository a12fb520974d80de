// Wiping of key material: the custody key, key-file contents and whatever buffer held
// them on the way.
#pragma once

#include <openssl/crypto.h>

#include <string>
#include <utility>

namespace zu::archive {

// wipe overwrites the bytes of `secret` with OPENSSL_cleanse, which the compiler may not
// drop as a dead store. The string keeps its size.
inline void wipe(std::string& secret) noexcept {
  if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
}

// Wiped owns a string of key material and wipes it when it goes out of scope, on every
// path, thrown exceptions included.
//
// REQUIRES: the string is filled without growing past its first allocation (reserve
// first), or an earlier buffer would be released unwiped.
class Wiped {
 public:
  Wiped() = default;
  explicit Wiped(std::string secret) noexcept : secret_(std::move(secret)) {}
  ~Wiped() { wipe(secret_); }
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;

  std::string& get() noexcept { return secret_; }
  const std::string& get() const noexcept { return secret_; }

 private:
  std::string secret_;
};

}  // namespace zu::archive
