// HMAC-SHA-256 under the custody key, the one MAC of the archive's formats (record MACs
// and the key file's admission MAC), and the random bytes the archive draws.
#pragma once

#include <cstddef>
#include <string_view>

#include "archive/wiped.hpp"
#include "zu/digest.hpp"

namespace zu::archive {

// CustodyKey is the 32-byte secret of one archive. Every copy wipes itself when it goes.
using CustodyKey = WipedArray<32>;

// mac returns HMAC-SHA-256 of `bytes` under `key`. Throws archive_fs::Rejected when
// OpenSSL fails or gives a result of another length.
Digest mac(const CustodyKey& key, std::string_view bytes);

// random_bytes fills `out` with `size` bytes from RAND_bytes. Throws
// archive_fs::Rejected when the generator fails.
void random_bytes(unsigned char* out, std::size_t size);

}  // namespace zu::archive
