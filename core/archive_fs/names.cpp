#include "archive_fs/names.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {
namespace {

constexpr std::size_t kMaxTextBytes = 2'147'483'647;
constexpr std::size_t kMaxNameUnits = 32'767;

// continuation returns the six payload bits of the byte at text[at], or throws when
// there is no byte there or it is not a continuation byte.
std::uint32_t continuation(std::string_view text, std::size_t at) {
  require(at < text.size());
  const auto byte = static_cast<std::uint8_t>(text[at]);
  require((byte & 0xC0U) == 0x80U);
  return byte & 0x3FU;
}

// forbidden returns whether one code unit may not appear in a component.
template <typename Unit>
bool forbidden(Unit unit) noexcept {
  return unit < 0x20 || unit == '"' || unit == '*' || unit == '/' || unit == ':' || unit == '<' ||
         unit == '>' || unit == '?' || unit == '\\' || unit == '|';
}

}  // namespace

std::u16string widen(std::string_view utf8) {
  require(!utf8.empty() && utf8.size() <= kMaxTextBytes);
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    std::uint32_t code = 0;
    std::size_t length = 0;
    // The minimum of each length refuses overlong forms, which would let one character
    // have two spellings.
    std::uint32_t minimum = 0;
    if (lead < 0x80U) {
      code = lead;
      length = 1;
    } else if ((lead & 0xE0U) == 0xC0U) {
      code = lead & 0x1FU;
      length = 2;
      minimum = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
      code = lead & 0x0FU;
      length = 3;
      minimum = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
      code = lead & 0x07U;
      length = 4;
      minimum = 0x10000;
    } else {
      throw Rejected{};
    }
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | continuation(utf8, i + k);
    require(code >= minimum && code <= 0x10FFFF);
    require(code != 0 && (code < 0xD800 || code > 0xDFFF));
    if (code < 0x10000) {
      out.push_back(static_cast<char16_t>(code));
    } else {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FFU)));
    }
    i += length;
  }
  return out;
}

void check_component(std::u16string_view component) {
  require(!component.empty());
  require(component != u"." && component != u"..");
  require(component.back() != u'.' && component.back() != u' ');
  require(std::none_of(component.begin(), component.end(), forbidden<char16_t>));
}

std::u16string checked_name(std::string_view utf8) {
  std::u16string wide = widen(utf8);
  check_component(wide);
  require(wide.size() <= kMaxNameUnits);
  return wide;
}

void check_name(std::string_view utf8) {
  // A name of ASCII characters alone (every name the archive makes) has one code unit
  // per byte, so the rules apply to its bytes as they stand; a capacity scan checks
  // every entry's name this way without building its UTF-16 form.
  const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                 [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
  if (!ascii || utf8.empty()) {
    static_cast<void>(checked_name(utf8));
    return;
  }
  require(utf8.size() <= kMaxNameUnits);
  require(utf8 != "." && utf8 != "..");
  require(utf8.back() != '.' && utf8.back() != ' ');
  require(std::none_of(utf8.begin(), utf8.end(),
                       [](char byte) { return forbidden(static_cast<unsigned char>(byte)); }));
}

}  // namespace zu::archive_fs
