// Key material in memory: the pages an open archive keeps its custody key and key-file
// contents in, and the wiping of those and of whatever buffer held them on the way.
#pragma once

#include <openssl/crypto.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>

#include "archive/key_file.hpp"
#include "archive/mac.hpp"

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

// KeyMaterial owns pages of their own for one archive's custody key and key file
// contents. The pages are left out of core dumps and locked against being swapped out
// where the system allows it: on Linux with MADV_DONTDUMP and mlock, on Windows with
// VirtualLock and, where the system has it, WerRegisterExcludedMemoryBlock. A lock the
// system refuses (over RLIMIT_MEMLOCK, say) leaves the pages unlocked and is no error.
// The destructor wipes the bytes with OPENSSL_cleanse before the pages are released.
//
// Both start zero. Thread safety: written only while the archive is being admitted, read
// by any thread afterwards.
class KeyMaterial {
 public:
  // KeyMaterial maps the pages. Throws std::bad_alloc when the system has none to give.
  KeyMaterial();
  ~KeyMaterial();
  KeyMaterial(const KeyMaterial&) = delete;
  KeyMaterial& operator=(const KeyMaterial&) = delete;

  // custody_key is the archive's 32-byte secret.
  [[nodiscard]] CustodyKey& custody_key() noexcept { return contents_->custody_key; }
  [[nodiscard]] const CustodyKey& custody_key() const noexcept { return contents_->custody_key; }

  // key_file is the key file's contents as read at admission.
  using KeyFile = std::array<char, kKeyFileBytes>;
  [[nodiscard]] KeyFile& key_file() noexcept { return contents_->key_file; }
  [[nodiscard]] const KeyFile& key_file() const noexcept { return contents_->key_file; }

 private:
  struct Contents {
    CustodyKey custody_key;
    KeyFile key_file;
  };

  Contents* contents_;  // (nonnull) at the start of the mapped pages
  std::size_t size_;    // bytes mapped, a whole number of pages
};

}  // namespace zu::archive
