// An archive's private state, kept out of the public header so that hosts see neither its
// members nor the headers they need.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "archive/secret.hpp"
#include "archive_fs/list_memory.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"
#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/native_archive.hpp"

namespace zu {

// NativeArchive::State is an archive's private state: the paths and scope it was made
// with, its descriptor and effective limits, the open store directory and key file with
// their statuses at admission, the key file's contents and the custody key. Destroying
// it wipes the key material and closes both handles.
//
// Thread safety: verify may run on several threads at once; nothing else changes a
// State after admission.
class NativeArchive::State {
 public:
  // State takes the paths, the owner scope, the descriptor and the effective limits and
  // computes the descriptor digest; both handles start empty, both statuses zero and the
  // custody key zero. Throws archive_fs::Rejected when the descriptor has no policy or
  // its digest does not fit max_record_bytes.
  State(std::string store_path, std::string key_path, std::string owner_scope,
        descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits);
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // verify re-checks the store and the key file by their paths: the store directory is
  // still the admitted one and private, the key file's directory is private and outside
  // the store, and the key file is the admitted one, private, sealed, unchanged in
  // status and in contents. Throws archive_fs::Rejected on the first failure.
  void verify() const;

  std::string store_path_;
  std::string key_path_;
  std::string owner_scope_;
  // descriptor_digest_ is the 32-byte archive digest of descriptor_.
  std::string descriptor_digest_;
  descriptor::ValidatedDescriptor descriptor_;
  NativeArchiveLimits limits_;
  archive_fs::Handle store_;
  // key_ is open read-only; the store lock is taken on it.
  archive_fs::Handle key_;
  archive_fs::Status store_status_;
  archive_fs::Status key_status_;
  // save_mutex_ serialises this archive's writers; it is taken before the store lock.
  mutable std::mutex save_mutex_;
  // scan_memory_ is what this archive's capacity scans proved of the store's entries;
  // guarded by save_mutex_.
  mutable archive_fs::ListMemory scan_memory_;
  // admitted_lists_ is what re-verifications proved of the lists of the store directory,
  // the key's directory and the key file.
  mutable archive_fs::AdmittedListMemory admitted_lists_;
  // (nonnull) secrets_ holds the custody key and the 96 bytes of the key file read at
  // admission, in memory kept out of core dumps and swap where the system allows it.
  std::unique_ptr<archive::KeyMaterial> secrets_;
};

}  // namespace zu
