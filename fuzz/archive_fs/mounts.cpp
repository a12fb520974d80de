// Feeds arbitrary text to the mount-table reader. Mount points in the table are chosen
// by whoever mounts, so a line may hold anything the kernel's escaping lets through. The
// reader must stay inside the text, and agree with a plain split of the line it picks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "archive_fs/posix/mounts.hpp"
#include "zu/archive_fs/handle.hpp"

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

bool is_number(std::string_view text, std::uint64_t& value) {
  // Leading zeros are read as the kernel never writes them but std::from_chars allows.
  if (text.empty()) return false;
  unsigned __int128 total = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    total = total * 10 + static_cast<unsigned>(c - '0');
    if (total > UINT64_MAX) return false;
  }
  value = static_cast<std::uint64_t>(total);
  return true;
}

// The type on the first line whose first field is id; nullopt-like "!" when that line
// is malformed, "" when no line names id.
std::string expected_type(std::string_view text, std::uint64_t id) {
  if (text.empty()) return "";
  for (const std::string_view line : split(text, '\n')) {
    const std::vector<std::string_view> fields = split(line, ' ');
    std::uint64_t number = 0;
    if (!is_number(fields[0], number) || number != id) continue;
    std::size_t at = 1;
    for (; at < 6; ++at) {
      if (at >= fields.size() || fields[at].empty()) return "!";
    }
    for (; at < fields.size() && fields[at] != "-"; ++at) {
      if (fields[at].empty()) return "!";
    }
    if (at + 1 >= fields.size() || fields[at + 1].empty()) return "!";
    return std::string(fields[at + 1]);
  }
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the id looked for, small so that lines name it often.
  if (size == 0) return 0;
  const std::uint64_t id = data[0] % 64;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string expected = expected_type(text, id);
  std::string got;
  try {
    const std::string_view type = zu::archive_fs::posix::mount_type(text, id);
    if (!type.empty() &&
        (type.data() < text.data() || type.data() + type.size() > text.data() + text.size())) {
      std::abort();
    }
    got = std::string(type);
  } catch (const zu::archive_fs::Rejected&) {
    got = "!";
  }
  if (got != expected) std::abort();
  return 0;
}
