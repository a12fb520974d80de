// Conversions between the UTF-16 text of the shared name rules (char16_t), the wide text
// of the Windows calls (wchar_t, also UTF-16 here) and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace zu::archive_fs::windows {

// to_wide returns text as wchar_t units, unit for unit.
std::wstring to_wide(std::u16string_view text);

// to_u16 returns text as char16_t units, unit for unit.
std::u16string to_u16(std::wstring_view text);

// checked_wide_name returns a caller's UTF-8 name in UTF-16 after the shared name rules
// (checked_name): it throws Rejected for a name those rules refuse.
std::wstring checked_wide_name(std::string_view utf8);

// check_wide_component throws Rejected unless component passes the shared rules for one
// path component (check_component) and fits in one open.
void check_wide_component(std::wstring_view component);

// narrow returns UTF-16 text as UTF-8. It throws Rejected for empty text, text too long
// for one conversion call, and text that is not valid UTF-16 (a lone surrogate).
std::string narrow(std::wstring_view text);

}  // namespace zu::archive_fs::windows
