// Key material in memory: the pages an open archive keeps its custody key and key-file
// contents in. The buffers key bytes pass through on the way are the holders of wiped.hpp.
#pragma once

#include <array>
#include <cstddef>

#include "archive/key_file.hpp"
#include "archive/mac.hpp"
#include "archive/wiped.hpp"

namespace zu::archive {

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
