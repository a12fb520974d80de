#include "archive/codec.hpp"

#include <cstdint>
#include <utility>

#include "archive/block_codec.hpp"
#include "archive/state.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu {
namespace {

using archive::Duplicates;
using archive::RecordReader;
using archive::RecordWriter;
using archive_fs::require;

constexpr std::string_view kLabel = "zu.native.local-custody.archive.v3";
constexpr std::uint32_t kLargestRole = 4;
constexpr std::uint32_t kLargestFamily = 4;
constexpr std::uint32_t kLargestStopKind = 10;

// same_resources returns whether two policies give every digest the same limits, so a
// replay proven under one is proven under the other.
bool same_resources(const descriptor::DescriptorPolicy& a, const descriptor::DescriptorPolicy& b) {
  const descriptor::CodecResources& x = a.resources();
  const descriptor::CodecResources& y = b.resources();
  return &a == &b ||
         (x.max_digest_bytes == y.max_digest_bytes && x.max_json_depth == y.max_json_depth &&
          x.max_json_entries == y.max_json_entries && x.max_message_count == y.max_message_count &&
          x.max_block_count == y.max_block_count);
}

}  // namespace

std::string NativeArchive::Codec::encode(const State& state, const std::vector<Message>& messages,
                                         std::string_view record_scope) {
  const NativeArchiveLimits& limits = state.limits_;
  require(messages.size() <= limits.max_messages);
  RecordWriter w(limits);
  w.reserve_up_front();
  w.bytes(kLabel);
  w.bytes(state.owner_scope_);
  w.bytes(state.descriptor_digest_);
  w.bytes(record_scope);
  w.u64(messages.size());
  std::uint64_t blocks = 0;
  for (const Message& message : messages) {
    w.bytes(message.id);
    w.enum32(static_cast<std::int32_t>(message.role), kLargestRole);
    require(message.content.size() <= limits.max_blocks - blocks);
    blocks += message.content.size();
    w.u64(message.content.size());
    for (const ContentBlock& block : message.content) archive::write_block(w, block);
    w.optional_json(message.native, Duplicates::allowed);
    w.boolean(message.replay != nullptr);
    if (message.replay != nullptr) write_replay(w, state, message);
  }
  return w.take();
}

void NativeArchive::Codec::write_replay(RecordWriter& w, const State& state,
                                        const Message& message) {
  const NativeReplay& replay = *message.replay;
  const descriptor::DescriptorPolicy& policy = *state.descriptor_.policy();
  require(replay.archive_valid(message));
  // archive_valid holds only for a bound context with a policy.
  const NativeContext& context = *replay.context;
  require(context.matches_descriptor(state.descriptor_));
  require(context.policy->identity() == policy.identity());
  // A token proven under another policy object of the same identity but other limits
  // may fail its proof once it carries the archive's policy, as load rebuilds it.
  if (replay.valid && !same_resources(*context.policy, policy)) {
    require(stored_replay(state, context, replay)->archive_valid(message));
  }
  const NativeArchiveLimits& limits = w.limits();
  require(context.history_count <= limits.max_messages);
  require(context.server_tool_calls.size() <= limits.max_blocks);

  w.enum32(static_cast<std::int32_t>(context.family), kLargestFamily);
  w.bytes(context.model);
  w.bytes(context.path);
  w.u64(context.history_count);
  w.bytes(context.policy->identity());
  w.raw32(context.descriptor_digest);
  w.raw32(context.prefix_digest);
  w.boolean(context.bound);
  w.boolean(context.history_replayable);
  w.boolean(context.can_issue_replays);
  w.u64(context.server_tool_calls.size());
  for (const auto& [call_id, tool] : context.server_tool_calls) {
    w.bytes(call_id);
    w.bytes(tool);
  }
  w.string_list(context.client_tools);

  w.enum32(static_cast<std::int32_t>(replay.stop_kind), kLargestStopKind);
  w.raw32(replay.content_digest);
  w.boolean(replay.valid);
}

std::shared_ptr<const NativeReplay> NativeArchive::Codec::stored_replay(
    const State& state, const NativeContext& context, const NativeReplay& replay) {
  std::shared_ptr<NativeContext> copy(new NativeContext(context.family, context.model,
                                                        context.path, context.history_count,
                                                        state.descriptor_.policy()));
  copy->descriptor_digest = context.descriptor_digest;
  copy->prefix_digest = context.prefix_digest;
  copy->bound = context.bound;
  copy->history_replayable = context.history_replayable;
  copy->can_issue_replays = context.can_issue_replays;
  copy->server_tool_calls = context.server_tool_calls;
  copy->client_tools = context.client_tools;
  return std::shared_ptr<const NativeReplay>(
      new NativeReplay(std::move(copy), replay.stop_kind, replay.content_digest, replay.valid));
}

std::vector<Message> NativeArchive::Codec::decode(const State& state, std::string_view record,
                                                  std::string_view record_scope) {
  const NativeArchiveLimits& limits = state.limits_;
  RecordReader r(record, limits);
  require(r.bytes() == kLabel);
  require(r.bytes() == state.owner_scope_);
  require(r.bytes() == state.descriptor_digest_);
  require(r.bytes() == record_scope);
  const std::uint64_t count = r.count(limits.max_messages);
  std::vector<Message> messages;
  messages.reserve(static_cast<std::size_t>(count));
  std::uint64_t blocks = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    Message message;
    message.id = r.text();
    message.role = static_cast<Role>(r.enum32(kLargestRole));
    const std::uint64_t size = r.count(limits.max_blocks - blocks);
    blocks += size;
    message.content.reserve(static_cast<std::size_t>(size));
    for (std::uint64_t k = 0; k < size; ++k) message.content.push_back(archive::read_block(r));
    message.native = r.optional_json(Duplicates::allowed);
    if (r.boolean()) message.replay = read_replay(r, state, message);
    messages.push_back(std::move(message));
  }
  require(r.at_end());
  return messages;
}

std::shared_ptr<const NativeReplay> NativeArchive::Codec::read_replay(RecordReader& r,
                                                                      const State& state,
                                                                      const Message& message) {
  const NativeArchiveLimits& limits = r.limits();
  const auto family = static_cast<NativeContext::Family>(r.enum32(kLargestFamily));
  std::string model = r.text();
  std::string path = r.text();
  const std::uint64_t history_count = r.u64();
  require(history_count <= limits.max_messages);
  require(r.bytes() == state.descriptor_.policy()->identity());

  std::shared_ptr<NativeContext> context(new NativeContext(
      family, std::move(model), std::move(path), history_count, state.descriptor_.policy()));
  context->descriptor_digest = r.raw32();
  context->prefix_digest = r.raw32();
  context->bound = r.boolean();
  context->history_replayable = r.boolean();
  if (!context->history_replayable) context->refusal = NativeContext::RefusalReason::not_recorded;
  context->can_issue_replays = r.boolean();
  const std::uint64_t calls = r.count(limits.max_blocks);
  context->server_tool_calls.reserve(static_cast<std::size_t>(calls));
  for (std::uint64_t i = 0; i < calls; ++i) {
    std::string call_id = r.text();
    context->server_tool_calls.emplace_back(std::move(call_id), r.text());
  }
  context->client_tools = r.string_list();

  const auto stop_kind = static_cast<StopKind>(r.enum32(kLargestStopKind));
  const Digest content_digest = r.raw32();
  const bool valid = r.boolean();
  const NativeContext& bound = *context;
  std::shared_ptr<const NativeReplay> replay(
      new NativeReplay(std::move(context), stop_kind, content_digest, valid));
  require(replay->archive_valid(message));
  require(bound.matches_descriptor(state.descriptor_));
  return replay;
}

}  // namespace zu
