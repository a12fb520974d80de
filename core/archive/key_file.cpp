#include "archive/key_file.hpp"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstdint>

#include "archive/record_reader.hpp"
#include "archive/record_writer.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive {
namespace {

constexpr std::size_t kIdentitiesAt = 32;
constexpr std::size_t kMacAt = 64;

Digest admission_mac(const CustodyKey& key, const Admission& admission) {
  return mac(key, admission_statement(admission));
}

}  // namespace

std::string admission_statement(const Admission& admission) {
  RecordWriter statement(admission.limits);
  statement.bytes(admission.owner_scope);
  statement.bytes(admission.descriptor_digest);
  statement.u64(admission.store.volume);
  statement.u64(admission.store.file_id);
  statement.u64(admission.key_file.volume);
  statement.u64(admission.key_file.file_id);
  return statement.take();
}

Wiped compose_key_file(const CustodyKey& key, const Admission& admission) {
  const Digest admitted = admission_mac(key, admission);
  Wiped composed(std::string(kKeyFileBytes, '\0'));
  std::string& contents = composed.get();
  std::copy(key.begin(), key.end(), contents.begin());
  char* identities = contents.data() + kIdentitiesAt;
  put_u64(identities, admission.store.volume);
  put_u64(identities + 8, admission.store.file_id);
  put_u64(identities + 16, admission.key_file.volume);
  put_u64(identities + 24, admission.key_file.file_id);
  std::copy(admitted.begin(), admitted.end(), contents.begin() + kMacAt);
  return composed;
}

void admit_key_file(std::string_view contents, const Admission& admission, CustodyKey& key) {
  archive_fs::require(contents.size() == kKeyFileBytes);
  RecordReader identities(contents.substr(kIdentitiesAt, 32), admission.limits);
  archive_fs::require(identities.u64() == admission.store.volume);
  archive_fs::require(identities.u64() == admission.store.file_id);
  archive_fs::require(identities.u64() == admission.key_file.volume);
  archive_fs::require(identities.u64() == admission.key_file.file_id);

  // The refusal is thrown only once the candidate is gone: thrown while it lived, it left
  // a copy of key bytes behind in a dead stack frame (seen under AddressSanitizer).
  bool admitted = false;
  {
    CustodyKey candidate{};
    std::copy_n(contents.begin(), candidate.size(), candidate.begin());
    const Digest expected = admission_mac(candidate, admission);
    admitted = CRYPTO_memcmp(expected.data(), contents.data() + kMacAt, expected.size()) == 0;
    if (admitted) key = candidate;
  }
  archive_fs::require(admitted);
}

}  // namespace zu::archive
