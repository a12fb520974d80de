// Holders of key bytes that wipe them when they go, on every path, thrown exceptions
// included, so that no buffer a key passes through depends on its user remembering to.
#pragma once

#include <openssl/crypto.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>

namespace zu::archive {

// WipedArray is a fixed-size array of key bytes that wipes itself with OPENSSL_cleanse,
// which the compiler may not drop as a dead store, when destroyed. Copies are holders of
// their own and wipe themselves too. Value-initialised ({}) it starts zero.
template <std::size_t N>
class WipedArray : public std::array<unsigned char, N> {
 public:
  WipedArray() = default;
  WipedArray(const WipedArray&) = default;
  WipedArray& operator=(const WipedArray&) = default;
  ~WipedArray() { OPENSSL_cleanse(this->data(), N); }
};

// Wiped owns a string of key material and, when it goes, wipes the string's whole buffer
// (its capacity, not only its size, so shortening it first leaves nothing behind). A
// move hands the buffer over and leaves the source holding nothing.
//
// REQUIRES: the string is filled without growing past its first allocation (size it
// first), or an earlier buffer would be released unwiped.
class Wiped {
 public:
  Wiped() = default;
  explicit Wiped(std::string secret) noexcept : secret_(std::move(secret)) {}
  Wiped(Wiped&& other) noexcept : secret_(std::move(other.secret_)) {}
  Wiped& operator=(Wiped&&) = delete;
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() {
    // Growing to the capacity never reallocates; it only makes every byte reachable.
    secret_.resize(secret_.capacity());
    OPENSSL_cleanse(secret_.data(), secret_.size());
  }

  std::string& get() noexcept { return secret_; }
  const std::string& get() const noexcept { return secret_; }

 private:
  std::string secret_;
};

}  // namespace zu::archive
