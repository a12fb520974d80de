#include "archive_fs/windows/text.hpp"

#include <climits>

#include "archive_fs/names.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

std::wstring to_wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string to_u16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::wstring checked_wide_name(std::string_view utf8) { return to_wide(checked_name(utf8)); }

void check_wide_component(std::wstring_view component) {
  check_component(to_u16(component));
  require(component.size() <= kMaxNameUnits);
}

std::string narrow(std::wstring_view text) {
  require(!text.empty() && text.size() <= INT_MAX);
  const int units = static_cast<int>(text.size());
  // WC_ERR_INVALID_CHARS refuses a lone surrogate instead of replacing it, so two
  // different names can never come out as the same text.
  const int length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units,
                                           nullptr, 0, nullptr, nullptr);
  require(length > 0);
  std::string out(static_cast<std::size_t>(length), '\0');
  const int written = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units,
                                            out.data(), length, nullptr, nullptr);
  require(written == length);
  return out;
}

}  // namespace zu::archive_fs::windows
