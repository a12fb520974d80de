// The prefix step: chaining one message digest into a running prefix digest.
//
// The prefix after message i is SHA-256 over
//   bytes(prefix label), u64(i), raw32(prefix before message i), raw32(message digest),
// so a prefix digest stands for the whole ordered history behind it, each message at
// its position.
//
//   zu::Digest prefix = configuration_digest;
//   for (std::uint64_t i = 0; i < digests.size(); ++i)
//     if (!zu::digest::prefix_step("zu.gemini.prefix.v1", i, digests[i], resources, prefix))
//       break;  // unbound
#pragma once

#include <cstdint>
#include <string_view>

#include "zu/descriptor/policy.hpp"
#include "zu/digest.hpp"

namespace zu::digest {

// prefix_step advances `prefix` over the message at position `index` whose digest is
// `message`, with `prefix_label` and the budget of `resources`. It returns true and
// replaces `prefix` on success, and returns false and leaves `prefix` as it was when the
// budget or OpenSSL fails. It never throws.
[[nodiscard]] bool prefix_step(std::string_view prefix_label, std::uint64_t index,
                               const Digest& message,
                               const descriptor::CodecResources& resources,
                               Digest& prefix) noexcept;

}  // namespace zu::digest
