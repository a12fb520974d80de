// The descriptor digest: a provider descriptor as one context binds it.
//
// The stream, under the descriptor policy's resources:
//   bytes(family origin label), bytes(policy identity), bytes(family), bytes(id),
//   bytes(base_url),
//   for "google.generate" only: bytes(path(false)), bytes(path(true)),
//   bytes of the request model, messages, stream and output-token member names,
//   the usage path as a list of texts,
//   the stop mappings: u64(count), then bytes(text) and the stop kind sign-extended,
//   the headers: u64(count), then bytes(name) and bytes(value) of each,
//   for "anthropic.messages" only: bytes("anthropic-version"), bytes(its value).
//
// Header names are lower-cased (ASCII letters only) before anything else, so that
// names differing only in case are one header; "accept" and "content-type", which
// every codec sets for itself, are left out, and so is "anthropic-version" in the
// family that digests it on its own, taking the last such header or, without one, the
// family's default. The rest are sorted by name and then value, so the order a
// descriptor lists them in does not matter.
//
// Paths are digested only by "google.generate", whose two paths differ in more than
// streaming; the other families compare their one path separately.
//
// Thread safety: reads the descriptor and its policy only.
#pragma once

#include "zu/descriptor/validated_descriptor.hpp"
#include "zu/digest.hpp"

namespace zu::native {

// descriptor_digest computes the descriptor digest of `descriptor` into `out` and
// returns true, or returns false and leaves `out` untouched when the descriptor has no
// policy, its family is not one of the five, or the digest exceeds the policy's budget.
//
// Throws std::bad_alloc when memory runs out.
[[nodiscard]] bool descriptor_digest(const descriptor::ValidatedDescriptor& descriptor,
                                     Digest& out);

}  // namespace zu::native
