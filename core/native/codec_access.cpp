// The codecs' door to the private constructors.
#include "zu/codec_access.hpp"

#include <utility>

namespace zu {
std::shared_ptr<const NativeContext> CodecAccess::context(
    const descriptor::ValidatedDescriptor& descriptor, const messages::Request& request,
    const descriptor::EffectiveChoices& choices, bool streaming) {
  return std::shared_ptr<const NativeContext>(
      new NativeContext(descriptor, request, choices, streaming));
}

std::shared_ptr<const NativeContext> CodecAccess::context(
    const descriptor::ValidatedDescriptor& descriptor, const responses::Request& request,
    const descriptor::EffectiveChoices& choices, bool streaming) {
  return std::shared_ptr<const NativeContext>(
      new NativeContext(descriptor, request, choices, streaming));
}

std::shared_ptr<const NativeContext> CodecAccess::context(
    const descriptor::ValidatedDescriptor& descriptor, const gemini::Request& request,
    const descriptor::EffectiveChoices& choices, bool streaming) {
  return std::shared_ptr<const NativeContext>(
      new NativeContext(descriptor, request, choices, streaming));
}

std::shared_ptr<const NativeContext> CodecAccess::context(
    const descriptor::ValidatedDescriptor& descriptor, const interactions::Request& request,
    const descriptor::EffectiveChoices& choices, bool streaming) {
  return std::shared_ptr<const NativeContext>(
      new NativeContext(descriptor, request, choices, streaming));
}

std::shared_ptr<const NativeContext> CodecAccess::context(
    const descriptor::ValidatedDescriptor& descriptor, const chat::Request& request,
    const descriptor::EffectiveChoices& choices, bool streaming) {
  return std::shared_ptr<const NativeContext>(
      new NativeContext(descriptor, request, choices, streaming));
}

std::shared_ptr<const NativeReplay> CodecAccess::replay(
    std::shared_ptr<const NativeContext> context, const Message& message,
    const StopReason* stop, bool bind) {
  return std::shared_ptr<const NativeReplay>(
      new NativeReplay(std::move(context), message, stop, bind));
}

bool CodecAccess::archive_valid(const NativeReplay& replay, const Message& message) {
  return replay.archive_valid(message);
}

}  // namespace zu
