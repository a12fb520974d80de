// Descriptor policies: the resource limits and request defaults a descriptor carries.
//
// A policy is made once by whoever validates descriptors and shared, immutable, by every
// descriptor and native context that uses it:
//
//   auto policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
//       "acme.policy.v1",
//       zu::descriptor::CodecResources{.max_digest_bytes = 1 << 24, .max_json_depth = 64,
//                                      .max_json_entries = 1 << 16,
//                                      .max_message_count = 1024, .max_block_count = 8192});
//
// Thread safety: a DescriptorPolicy never changes after construction; any number of
// threads may read one at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "zu/descriptor/export.hpp"

namespace zu::descriptor {

// CodecResources bounds the work the core library does on a policy's behalf. Every
// member starts at 0, which allows nothing: a caller chooses each limit.
struct CodecResources {
  // max_digest_bytes is the most bytes one digest may absorb.
  std::uint64_t max_digest_bytes = 0;
  // max_json_depth is the deepest nesting level canonical JSON hashing accepts; a
  // document's root is at level 0.
  std::uint64_t max_json_depth = 0;
  // max_json_entries is the most elements or members one JSON container may have to be
  // hashed.
  std::uint64_t max_json_entries = 0;
  // max_message_count is the most messages one archive record may hold.
  std::uint64_t max_message_count = 0;
  // max_block_count is the most content blocks one archive record may hold.
  std::uint64_t max_block_count = 0;
};

// RequestDefaults holds what a policy decides for a request when the request leaves it
// open.
struct RequestDefaults {
  // tool_flag_default stands in for a function tool's first optional flag when the tool
  // leaves it unset; absent means the policy has no default either.
  std::optional<bool> tool_flag_default{};
};

// DescriptorPolicy names a policy and holds its resources and request defaults.
class DescriptorPolicy {
 public:
  // DescriptorPolicy makes a policy called `identity`. The identity is part of every
  // descriptor digest made under the policy, so two policies that must not be mistaken
  // for one another need different identities.
  DescriptorPolicy(std::string identity, CodecResources resources,
                   RequestDefaults defaults = {})
      : identity_(std::move(identity)), resources_(resources), defaults_(std::move(defaults)) {}

  // identity returns the policy's name.
  [[nodiscard]] const std::string& identity() const noexcept { return identity_; }

  // resources returns the policy's resource limits.
  [[nodiscard]] const CodecResources& resources() const noexcept { return resources_; }

  // defaults returns the request defaults that apply to requests of `family` for
  // `model`. The reference stays valid as long as the policy.
  [[nodiscard]] ZU_DESCRIPTOR_EXPORT const RequestDefaults& defaults(
      std::string_view family, std::string_view model) const noexcept;

 private:
  std::string identity_;
  CodecResources resources_;
  RequestDefaults defaults_;
};

}  // namespace zu::descriptor
