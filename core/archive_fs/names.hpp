// Name rules shared by every backend, so that a store written on one platform holds
// only names that every other platform accepts as well.
#pragma once

#include <string>
#include <string_view>

namespace zu::archive_fs {

// widen converts UTF-8 text to UTF-16 and returns it. It throws Rejected for empty text,
// text longer than 2,147,483,647 bytes, text containing a NUL byte, and text that is not
// valid UTF-8 (overlong forms, encoded surrogates, code points above U+10FFFF, truncated
// or stray continuation bytes).
std::u16string widen(std::string_view utf8);

// check_component throws Rejected unless component is one acceptable path component: not
// empty, not "." or "..", not ending in '.' or ' ', no code unit below 0x20 and none of
// the characters " * / : < > ? \ |.
void check_component(std::u16string_view component);

// checked_name returns the UTF-16 form of a caller's UTF-8 name after widen and
// check_component, and throws Rejected for a name longer than 32,767 UTF-16 code units,
// the most any open on Windows can carry.
std::u16string checked_name(std::string_view utf8);

// check_name throws Rejected exactly where checked_name does, for a caller that needs no
// UTF-16 form.
void check_name(std::string_view utf8);

}  // namespace zu::archive_fs
