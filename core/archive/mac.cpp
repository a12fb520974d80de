#include "archive/mac.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <climits>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive {

Digest mac(const CustodyKey& key, std::string_view bytes) {
  Digest out{};
  unsigned int length = 0;
  const unsigned char* result =
      HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data(), &length);
  archive_fs::require(result != nullptr && length == out.size());
  return out;
}

void random_bytes(unsigned char* out, std::size_t size) {
  archive_fs::require(size <= INT_MAX);
  archive_fs::require(RAND_bytes(out, static_cast<int>(size)) == 1);
}

}  // namespace zu::archive
