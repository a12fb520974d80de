// The native archive: a tamper-evident local store of conversations.
//
// A host deposits a message list, with the native replay state of its replies, and gets
// back an archive key ("zuna3:" and 64 lowercase hexadecimal digits); later, with the
// same key and the same record scope, it loads the list back, contexts and replay tokens
// rebuilt. Records are sealed read-only files in a private store directory, each
// authenticated by an HMAC-SHA-256 under a random custody key that lives in a separate
// private key file of 96 bytes. The key file binds itself, the store directory, the
// owner scope and the provider descriptor together by the objects' identities, not by
// their paths: a store or key file that was copied, replaced (even by a new object that
// got the old one's inode number) or rewritten is refused, as is a record that was
// altered, truncated, or renamed onto another record's name. A store and its key file
// moved to new paths, together or one of them, are the same archive there: open admits
// them under the new paths. An archive that is open re-checks its own paths before every
// use, so it refuses while they do not lead to its store and key file.
//
//   auto made = zu::NativeArchive::provision("/home/alice/.app/store",
//                                            "/home/alice/.app/keys/store.key",
//                                            "alice@app", descriptor, {});
//   if (const auto* error = std::get_if<zu::Error>(&made)) { /* refused */ }
//   const auto& archive = std::get<std::shared_ptr<zu::NativeArchive>>(made);
//   auto key = archive->save(conversation, "session-7");
//   ...
//   auto loaded = archive->load(std::get<std::string>(key), "session-7");
//
// Every refusal is the same zu::Error (kind archive_admission, message "Trusted local
// native archive admission failed", not retryable): which check failed is never told.
// Only memory exhaustion (std::bad_alloc), a content block without a value
// (std::bad_variant_access) and a failed mutex operation (std::system_error) propagate
// as exceptions.
//
// The store directory must be new (provision) or made by provision (open); the directory
// that holds the key file must exist, be private to the current user and lie outside
// the store. Everything goes through zu::archive_fs, so the same hostile-file-system
// rules apply: no symbolic links, local disk file systems only, owner-only access.
//
// Thread safety: an archive exists only inside a std::shared_ptr and may be shared by
// threads. owner_scope, matches_descriptor and load take no lock; save and
// remove_stale_staging of one archive are serialised by its mutex, and writers of
// different archives or processes over the same key file by the store lock. Loads run
// concurrently with saves: records appear by an atomic rename and are never rewritten.
//
// Processes: an archive belongs to the process that made it. A child process opens an
// archive of its own with open (which may run while the parent saves); it never uses one
// inherited through fork, whose mutex a thread of the parent may have held at the fork,
// to stay held in the child for good.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/error.hpp"
#include "zu/export.hpp"
#include "zu/message.hpp"

namespace zu {

// NativeArchiveLimits bounds one archive's records and store. A member left 0 takes its
// default from the descriptor policy's CodecResources; a member out of its range makes
// the archive's creation fail. A plain aggregate; the member order is fixed.
struct NativeArchiveLimits {
  // max_record_bytes bounds one record, and the descriptor-digest and admission buffers;
  // it is also the most bytes load reads from a record file. Default and upper bound:
  // max_digest_bytes.
  std::uint64_t max_record_bytes = 0;
  // max_messages bounds the messages of one record and the history count of a stored
  // context. Default and upper bound: max_message_count.
  std::uint64_t max_messages = 0;
  // max_blocks bounds the content blocks of one record (all messages together), every
  // stored string list and the open server tool calls of a stored context. Default and
  // upper bound: max_block_count.
  std::uint64_t max_blocks = 0;
  // max_json_depth bounds the nesting of every JSON document inside a record. Default
  // and upper bound: max_json_depth.
  std::uint64_t max_json_depth = 0;
  // max_records is the number of entries the store directory may hold, staging files
  // included. Default and upper bound: max_message_count.
  std::uint64_t max_records = 0;
  // max_store_bytes is the total size the store directory may hold. Default:
  // max_records times max_record_bytes; range: max_record_bytes to max_digest_bytes
  // times max_message_count.
  std::uint64_t max_store_bytes = 0;
};

// NativeArchive is one admitted store and key file. It is made only by provision or
// open, lives only inside a std::shared_ptr, and keeps the store directory and the key
// file open until it is destroyed, when it wipes its key material.
class ZU_CORE_EXPORT NativeArchive {
 public:
  class State;
  // Codec writes and reads custody records and is the one place that rebuilds contexts
  // and replay tokens from stored state. It is defined inside the library only.
  class Codec;

  // provision creates the store directory store_path and the key file key_path (which
  // must not exist, in a private directory that does) with a fresh custody key, then
  // admits them as open does, and returns the new archive. store_path must not exist, or
  // be an empty private directory, such as an interrupted or refused provision leaves
  // behind: provision takes that one over.
  //
  // The store directory's entry is flushed before the key file is made, and the key file
  // gets its name only once it is whole, sealed and flushed. So a process killed at any
  // moment inside provision leaves no key file (the same call then succeeds, nothing
  // needs deleting) or an archive that open admits, and what a returned provision made
  // survives a crash of the whole system. A killed provision may leave a ".pending-"
  // staging file in the key's directory, which nothing reads.
  [[nodiscard]] static std::variant<std::shared_ptr<NativeArchive>, Error> provision(
      std::string store_path, std::string key_path, std::string owner_scope,
      descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits);

  // open admits an existing store directory and key file made by provision and returns
  // the archive. It is refused unless the owner scope is the one given to provision, the
  // descriptor digests to the same value, and both the key file and the store directory
  // are the very objects (not copies, and not later objects that took over their inode
  // numbers) that were provisioned, private and unchanged. Their paths may differ from
  // provision's: admission binds identities, so a store and key file moved to new paths
  // are admitted there.
  //
  // WARNING: on POSIX systems a file identity folds in the inode's generation and birth
  // time. A store provisioned by an earlier build, which bound bare inode numbers, is
  // refused wherever the file system keeps either; its records stay on disk, and that
  // build can load them to be saved anew.
  [[nodiscard]] static std::variant<std::shared_ptr<NativeArchive>, Error> open(
      std::string store_path, std::string key_path, std::string owner_scope,
      descriptor::ValidatedDescriptor descriptor, NativeArchiveLimits limits);

  ~NativeArchive();
  NativeArchive(const NativeArchive&) = delete;
  NativeArchive& operator=(const NativeArchive&) = delete;

  // owner_scope returns the owner scope the archive was created with. The view lives as
  // long as the archive.
  [[nodiscard]] std::string_view owner_scope() const noexcept;

  // matches_descriptor returns true when the archive still verifies (store and key file
  // as admitted) and `descriptor` digests to the archive's descriptor digest; false
  // otherwise, also for a descriptor without a policy. It never throws.
  //
  // WARNING: it re-verifies the store and the key file on the file system on every call.
  [[nodiscard]] bool matches_descriptor(const descriptor::ValidatedDescriptor& descriptor) const
      noexcept;

  // save stores `messages` as one custody record under `record_scope` and returns its
  // archive key. Saving the same messages under the same scope again returns the same
  // key and writes nothing. Every message's replay token must be archivable with its
  // message and made under this archive's descriptor and policy. A new record is refused
  // when the store already holds max_records entries or would exceed max_store_bytes.
  //
  // A refused save leaves no file behind; a published record is never overwritten or
  // removed. A process killed inside save may leave a ".pending-" staging file, which
  // counts against the store's capacity until remove_stale_staging removes it.
  //
  // Throws std::bad_variant_access for a content block without a value.
  [[nodiscard]] std::variant<std::string, Error> save(const std::vector<Message>& messages,
                                                      std::string_view record_scope) const;

  // load returns the messages saved under `archive_key` with the same `record_scope`,
  // each replay token rebuilt on a new context that carries this archive's descriptor
  // policy. It is refused for a key of another form (checked before any file is opened),
  // a missing record, a record whose MAC does not match its key, another scope, and a
  // record file that changed while it was read.
  //
  // WARNING: a record is read whole into memory, up to max_record_bytes, and each JSON
  // document in it is parsed; pick the limits from what a load may cost.
  [[nodiscard]] std::variant<std::vector<Message>, Error> load(std::string_view archive_key,
                                                               std::string_view record_scope) const;

  // remove_stale_staging removes the ".pending-" staging files that interrupted saves
  // left in the store and returns how many it removed. It runs under the archive's
  // mutex and the store lock, so no writer is between creating and publishing a staging
  // file meanwhile, and removes only entries named ".pending-" and 64 lowercase
  // hexadecimal digits that are private files of the store's shape; anything else is
  // left alone.
  [[nodiscard]] std::variant<std::uint64_t, Error> remove_stale_staging() const;

 private:
  explicit NativeArchive(std::unique_ptr<State> state) noexcept;

  // (nonnull) state_ is everything the archive holds.
  std::unique_ptr<State> state_;
};

}  // namespace zu
