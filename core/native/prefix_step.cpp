// The prefix step.
#include "native/prefix_step.hpp"

#include "native/digest_writer.hpp"

namespace zu::digest {

bool prefix_step(std::string_view prefix_label, std::uint64_t index, const Digest& message,
                 const descriptor::CodecResources& resources, Digest& prefix) noexcept {
  Writer writer(resources);
  writer.bytes(prefix_label);
  writer.u64(index);
  writer.raw32(prefix);
  writer.raw32(message);
  // finish writes only on success, and only after everything, `prefix` included, has
  // been fed, so the output may be the input.
  return writer.finish(prefix);
}

}  // namespace zu::digest
