// The custody record, version 3: a message list with its native replay state, bound to
// one archive and one record scope.
//
//   bytes "zu.native.local-custody.archive.v3"
//   bytes owner scope, bytes descriptor digest (32 bytes), bytes record scope
//   u64 message count (at most max_messages), then for each message:
//     bytes id, enum32 role (<= 4),
//     u64 block count (all messages together at most max_blocks), then each block
//       (block_codec.hpp),
//     optional JSON native (repeated members allowed),
//     bool whether a replay token follows; when 1:
//       context:  enum32 family (<= 4), bytes model, bytes path, u64 history count
//                 (<= max_messages), bytes policy identity (the archive's), raw32
//                 descriptor digest, raw32 prefix digest, bool bound, bool
//                 history_replayable, bool can_issue_replays, u64 server tool call count
//                 (<= max_blocks) then each call id and tool name as bytes, string list
//                 client tools;
//       replay:   enum32 stop kind (<= 10), raw32 content digest, bool valid.
//   nothing after the last message.
//
// A context's configuration digest and cursor mode, and a replay's cursor capability,
// are not kept: a rebuilt context can bind nothing new and a rebuilt replay is never a
// continuation point.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/record_reader.hpp"
#include "archive/record_writer.hpp"
#include "zu/message.hpp"
#include "zu/native_context.hpp"
#include "zu/native_replay.hpp"
#include "zu/native_archive.hpp"

namespace zu {

// NativeArchive::Codec encodes and decodes custody records for one admitted state. Its
// members are the only code that reaches the private constructors of contexts and
// replay tokens on the archive's behalf.
class NativeArchive::Codec {
 public:
  // encode returns the record of `messages` under `record_scope`. Every replay token
  // must be archivable with its message, made under the archive's descriptor (same
  // digest and a path of it) and under a policy of the archive's identity; the writer
  // also refuses whatever decode would refuse, so no record is saved that cannot be
  // loaded. Throws archive_fs::Rejected, or std::bad_variant_access for a block without
  // a value.
  static std::string encode(const State& state, const std::vector<Message>& messages,
                            std::string_view record_scope);

  // decode returns the messages of `record`, which must be bound to this archive (label,
  // owner scope, descriptor digest) and to `record_scope`, with every replay token
  // rebuilt on a new context carrying the archive's policy and proven archivable again.
  // Throws archive_fs::Rejected.
  static std::vector<Message> decode(const State& state, std::string_view record,
                                     std::string_view record_scope);

 private:
  static void write_replay(archive::RecordWriter& writer, const State& state,
                           const Message& message);
  static std::shared_ptr<const NativeReplay> read_replay(archive::RecordReader& reader,
                                                         const State& state,
                                                         const Message& message);
  // stored_replay rebuilds a replay token as decode does: a new context with `context`'s
  // stored members and the archive's policy, and a token with `replay`'s stored members.
  static std::shared_ptr<const NativeReplay> stored_replay(const State& state,
                                                           const NativeContext& context,
                                                           const NativeReplay& replay);
};

}  // namespace zu
