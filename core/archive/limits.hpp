// An archive's effective limits: the caller's NativeArchiveLimits with every 0 replaced
// by its default from the descriptor policy's resources, and every member checked
// against its range.
#pragma once

#include "zu/descriptor/policy.hpp"
#include "zu/native_archive.hpp"

namespace zu::archive {

// effective_limits returns `limits` with defaults filled in member order, so that a
// zero max_store_bytes is the product of the (possibly defaulted) max_records and
// max_record_bytes. Throws archive_fs::Rejected when a product overflows 64 bits,
// max_message_count is 0, or any member lies outside its range.
NativeArchiveLimits effective_limits(const NativeArchiveLimits& limits,
                                     const descriptor::CodecResources& resources);

}  // namespace zu::archive
