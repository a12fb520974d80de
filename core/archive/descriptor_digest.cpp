#include "archive/descriptor_digest.hpp"

#include <openssl/evp.h>

#include <cstdint>

#include "archive/record_writer.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive {

std::string descriptor_digest(const descriptor::ValidatedDescriptor& descriptor,
                              const NativeArchiveLimits& limits) {
  archive_fs::require(descriptor.policy() != nullptr);
  RecordWriter w(limits);
  w.bytes("zu.native.archive.descriptor.v2");
  w.bytes(descriptor.id());
  w.u64(descriptor.revision());
  w.bytes(descriptor.family());
  w.bytes(descriptor.base_url());
  w.bytes(descriptor.path(false));
  w.bytes(descriptor.path(true));
  w.bytes(descriptor.policy()->identity());
  w.u64(descriptor.headers().size());
  for (const auto& [name, value] : descriptor.headers()) {
    w.bytes(name);
    w.bytes(value);
  }
  w.bytes(descriptor.request_model_member());
  w.bytes(descriptor.request_messages_member());
  w.bytes(descriptor.request_stream_member());
  w.bytes(descriptor.max_output_tokens_member());
  w.u64(descriptor.usage_path().size());
  for (const std::string& element : descriptor.usage_path()) w.bytes(element);
  w.u64(descriptor.stop_mappings().size());
  for (const auto& [text, kind] : descriptor.stop_mappings()) {
    w.bytes(text);
    // The stop kind's 32 bits, zero-extended: the digest takes whatever the descriptor
    // holds, so it is not range-checked as a record's stop kind is.
    w.u64(static_cast<std::uint32_t>(static_cast<std::int32_t>(kind)));
  }

  std::string digest(EVP_MAX_MD_SIZE, '\0');
  unsigned int length = 0;
  const std::string& input = w.data();
  archive_fs::require(EVP_Digest(input.data(), input.size(),
                                 reinterpret_cast<unsigned char*>(digest.data()), &length,
                                 EVP_sha256(), nullptr) == 1);
  archive_fs::require(length == 32);
  digest.resize(length);
  return digest;
}

}  // namespace zu::archive
