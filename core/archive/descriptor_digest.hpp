// The archive's descriptor digest: the provider descriptor an archive was admitted
// with, as 32 bytes bound into its key file and into every record.
//
// SHA-256 over, in the record encoding (record_writer.hpp):
//   bytes "zu.native.archive.descriptor.v2", bytes id, u64 revision, bytes family,
//   bytes base_url, bytes path(false), bytes path(true), bytes policy identity,
//   u64 header count then each name and value as bytes (in stored order),
//   bytes of the request model, messages, stream and output-token member names,
//   u64 usage path length then each element as bytes,
//   u64 stop mapping count then each text as bytes and its stop kind as enum32.
// Unlike a context's descriptor digest, nothing is normalised or sorted: any change to
// the descriptor, order included, changes the archive it belongs to.
#pragma once

#include <string>

#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/native_archive.hpp"

namespace zu::archive {

// descriptor_digest returns the 32-byte digest of `descriptor`. Throws
// archive_fs::Rejected when the descriptor has no policy or its encoding does not fit
// max_record_bytes.
std::string descriptor_digest(const descriptor::ValidatedDescriptor& descriptor,
                              const NativeArchiveLimits& limits);

}  // namespace zu::archive
