#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive_fs/names.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/open_relative.hpp"
#include "archive_fs/windows/system.hpp"
#include "archive_fs/windows/text.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {
namespace {

// Every local disk volume's device is named "\Device\HarddiskVolume" and a number;
// network redirectors, substituted folders and other devices are named otherwise.
constexpr std::wstring_view kVolumeDevicePrefix = L"\\Device\\HarddiskVolume";
// QueryDosDeviceW's buffer, in characters.
constexpr DWORD kDeviceBufferUnits = 4096;
// The only file system whose owners and access lists the archive relies on.
constexpr std::wstring_view kFileSystemName = L"NTFS";

bool ascii_letter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// current_directory returns the working directory with a trailing separator, read once.
std::wstring current_directory() {
  const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
  require(needed != 0);
  std::wstring buffer(needed, L'\0');
  const DWORD written = ::GetCurrentDirectoryW(needed, buffer.data());
  // The directory can change between the two calls; a longer one does not fit and is
  // refused rather than read again.
  require(written != 0 && written < needed);
  buffer.resize(written);
  if (buffer.back() != L'\\') buffer.push_back(L'\\');
  return buffer;
}

// absolute_path returns path as an absolute drive path ("X:\..."), with '/' read as '\'.
// A relative path is resolved against the working directory; UNC, device and
// drive-relative forms are refused.
std::wstring absolute_path(std::string_view path) {
  std::wstring text = windows::to_wide(widen(path));
  std::replace(text.begin(), text.end(), L'/', L'\\');
  // Also refuses a bare drive root such as "C:\": the target must be below it.
  require(text.back() != L'\\');
  const bool absolute = text.size() > 2 && text[1] == L':' && text[2] == L'\\';
  if (!absolute) {
    require(text.front() != L'\\' && text.find(L':') == std::wstring::npos);
    text.insert(0, current_directory());
  }
  require(text.size() > 3 && ascii_letter(text[0]) && text[1] == L':' && text[2] == L'\\');
  return text;
}

// volume_device returns the NT device behind drive ("X:"), which must be a local disk
// volume.
std::wstring volume_device(const std::wstring& drive) {
  std::wstring buffer(kDeviceBufferUnits, L'\0');
  require(::QueryDosDeviceW(drive.c_str(), buffer.data(), kDeviceBufferUnits) != 0);
  // The first of the returned strings is the current mapping.
  const std::wstring device(buffer.c_str());
  require(device.size() > kVolumeDevicePrefix.size());
  require(device.compare(0, kVolumeDevicePrefix.size(), kVolumeDevicePrefix) == 0);
  require(std::all_of(device.begin() + static_cast<std::ptrdiff_t>(kVolumeDevicePrefix.size()),
                      device.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }));
  return device;
}

// require_accepted_volume throws unless root, the open root of drive root_path, lies on
// a fixed NTFS volume that keeps access lists.
void require_accepted_volume(const Handle& root, const std::wstring& root_path) {
  require(::GetDriveTypeW(root_path.c_str()) == DRIVE_FIXED);
  DWORD flags = 0;
  wchar_t system_name[MAX_PATH + 1] = {};
  require(::GetVolumeInformationByHandleW(root.get(), nullptr, 0, nullptr, nullptr, &flags,
                                          system_name, MAX_PATH + 1) != 0);
  require((flags & FILE_PERSISTENT_ACLS) != 0);
  require(std::wstring_view(system_name) == kFileSystemName);
}

// components splits the part of an absolute path after "X:\" at '\' and checks each
// piece, so a doubled separator or a bad name refuses the path before anything is opened.
std::vector<std::wstring> components(std::wstring_view rest) {
  std::vector<std::wstring> out;
  for (;;) {
    const std::size_t separator = rest.find(L'\\');
    out.emplace_back(rest.substr(0, separator));
    windows::check_wide_component(out.back());
    if (separator == std::wstring_view::npos) return out;
    rest.remove_prefix(separator + 1);
  }
}

}  // namespace

Location locate(std::string_view path) {
  const std::wstring absolute = absolute_path(path);
  const std::wstring drive = absolute.substr(0, 2);
  const std::wstring root_path = absolute.substr(0, 3);
  const std::vector<std::wstring> names = components(std::wstring_view(absolute).substr(3));

  // The root is opened through its device, never through the drive letter, so the
  // letter is resolved exactly once, by the device check above it.
  Handle current = windows::open_relative(nullptr, volume_device(drive) + L'\\',
                                          windows::kOpenDirectoryRow);
  require_accepted_volume(current, root_path);

  Location location;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    Handle next = windows::open_relative(current.get(), names[i], windows::kOpenDirectoryRow);
    location.ancestors.push_back(std::move(current));
    current = std::move(next);
  }
  location.name = windows::narrow(names.back());
  location.parent = std::move(current);
  return location;
}

}  // namespace zu::archive_fs
