// Feeds arbitrary bytes to the name rules: widen must either refuse them or produce
// UTF-16 that encodes back to exactly the same bytes, checked_name must agree with
// widen and check_component, and check_name with checked_name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive_fs/names.hpp"
#include "zu/archive_fs/handle.hpp"

namespace {

std::string encode(std::u16string_view wide) {
  std::string out;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    std::uint32_t code = wide[i];
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 1 >= wide.size()) std::abort();
      const std::uint32_t low = wide[++i];
      if (low < 0xDC00 || low > 0xDFFF) std::abort();
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      std::abort();  // a lone low surrogate
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

// accepts returns whether check does not refuse text.
template <typename Check>
bool accepts(Check check, std::string_view text) {
  try {
    static_cast<void>(check(text));
  } catch (const zu::archive_fs::Rejected&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = zu::archive_fs;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (accepts(fs::check_name, text) != accepts(fs::checked_name, text)) std::abort();
  std::u16string wide;
  try {
    wide = fs::widen(text);
  } catch (const fs::Rejected&) {
    try {
      static_cast<void>(fs::checked_name(text));
    } catch (const fs::Rejected&) {
      return 0;
    }
    std::abort();  // checked_name accepted what widen refused
  }
  if (encode(wide) != text || wide.find(u'\0') != std::u16string::npos) std::abort();

  bool component_ok = true;
  try {
    fs::check_component(wide);
  } catch (const fs::Rejected&) {
    component_ok = false;
  }
  bool name_ok = true;
  try {
    if (fs::checked_name(text) != wide) std::abort();
  } catch (const fs::Rejected&) {
    name_ok = false;
  }
  if (name_ok != (component_ok && wide.size() <= 32'767)) std::abort();
  return 0;
}
