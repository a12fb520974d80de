// The archive's names: archive keys, record file names and staging file names.
//
//   archive key   "zuna3:" and the record MAC in 64 lowercase hexadecimal digits
//   record file   the same 64 digits alone
//   staging file  ".pending-" and 64 lowercase hexadecimal digits of 32 random bytes
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "zu/digest.hpp"

namespace zu::archive {

// hex returns the 64 lowercase hexadecimal digits of `digest`, high nibble first.
std::string hex(const Digest& digest);

// archive_key returns the archive key of a record whose MAC is `record_mac`.
std::string archive_key(const Digest& record_mac);

// record_name returns the 64 digits of a well-formed archive key (exactly 70 characters,
// "zuna3:", then only '0'-'9' and 'a'-'f'), or nothing for any other text.
std::optional<std::string_view> record_name(std::string_view archive_key) noexcept;

// new_staging_name returns a fresh staging name. Throws archive_fs::Rejected when the
// random generator fails.
std::string new_staging_name();

// is_staging_name returns whether `name` has the form of a staging name.
bool is_staging_name(std::string_view name) noexcept;

}  // namespace zu::archive
