// Input: one byte choosing the media type and detail, eight bytes of size limit, then
// the Base64 text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "zu/core.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  static const char* const kTypes[] = {"image/png", "image/jpeg", "image/gif", "image/webp",
                                       "image/jpg", ""};
  zu::Image image;
  image.media_type = kTypes[(data[0] & 0x0F) % 6];
  image.detail = zu::ImageDetail{(data[0] >> 4) % 6 - 1};
  std::uint64_t limit = 0;
  for (int i = 1; i <= 8; ++i) limit = (limit << 8) | data[i];
  image.data = std::make_shared<const std::string>(reinterpret_cast<const char*>(data + 9), size - 9);

  if (zu::valid_image(image, limit)) {
    // Whatever passes is non-empty canonical Base64 within the limit.
    const std::string& text = *image.data;
    if (text.empty() || text.size() % 4 != 0) std::abort();
    const std::size_t padding = text.back() == '=' ? (text[text.size() - 2] == '=' ? 2 : 1) : 0;
    if (text.size() / 4 * 3 - padding > limit) std::abort();
  }
  return 0;
}
