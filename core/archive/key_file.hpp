// The key file: 96 bytes that hold an archive's custody key and bind it to its store
// directory, to itself, to the owner scope and to the descriptor.
//
//   offset  0  32 bytes  custody key
//   offset 32   8 bytes  u64 volume of the store directory
//   offset 40   8 bytes  u64 file_id of the store directory
//   offset 48   8 bytes  u64 volume of the key file
//   offset 56   8 bytes  u64 file_id of the key file
//   offset 64  32 bytes  admission MAC: HMAC-SHA-256 under the custody key of the
//                        admission statement
//
// The admission statement (record encoding): bytes owner scope, bytes descriptor digest,
// then the four u64 above in the same order. A key file copied to another path, or a
// byte-identical replacement, carries another file_id than the one inside it; another
// owner scope or descriptor fails the MAC.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "archive/mac.hpp"
#include "archive/wiped.hpp"
#include "zu/archive_fs/status.hpp"
#include "zu/native_archive.hpp"

namespace zu::archive {

inline constexpr std::size_t kKeyFileBytes = 96;

// Admission is what a key file is bound to besides its custody key.
struct Admission {
  std::string_view owner_scope;
  std::string_view descriptor_digest;
  archive_fs::Status store;
  archive_fs::Status key_file;
  NativeArchiveLimits limits;
};

// admission_statement returns the admission statement of `admission`. Its size does not
// depend on the identities, so a caller can check that it fits max_record_bytes before
// anything exists. Throws archive_fs::Rejected when it does not fit.
std::string admission_statement(const Admission& admission);

// compose_key_file returns the 96 bytes of a key file for `key` under `admission`, in a
// holder that wipes them. Throws archive_fs::Rejected when the admission statement does
// not fit max_record_bytes or the MAC fails.
Wiped compose_key_file(const CustodyKey& key, const Admission& admission);

// admit_key_file checks that `contents` is a key file bound to `admission` and returns
// its custody key in `key`: exactly 96 bytes, the four identities equal, and the
// admission MAC equal under constant-time comparison. Throws archive_fs::Rejected
// otherwise.
void admit_key_file(std::string_view contents, const Admission& admission, CustodyKey& key);

}  // namespace zu::archive
