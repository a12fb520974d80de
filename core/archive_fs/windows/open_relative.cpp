#include "archive_fs/require.hpp"
#include "archive_fs/windows/open_relative.hpp"

#include <string>

namespace zu::archive_fs::windows {

Handle nt_open(NativeHandle parent, std::wstring_view name, const OpenRow& row,
               PSECURITY_DESCRIPTOR descriptor, Missing missing) {
  require(!name.empty() && name.size() <= kMaxNameUnits);
  const NtCalls& calls = nt_calls();
  // The counted string needs writable storage; a copy gives it without casting away const.
  std::wstring text(name);
  UNICODE_STRING counted{};
  counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  counted.MaximumLength = counted.Length;
  counted.Buffer = text.data();
  OBJECT_ATTRIBUTES attributes{};
  static_assert(sizeof(OBJECT_ATTRIBUTES) == 48);
  attributes.Length = sizeof(OBJECT_ATTRIBUTES);
  attributes.RootDirectory = parent;
  attributes.ObjectName = &counted;
  attributes.Attributes = kObjectAttributes;
  attributes.SecurityDescriptor = descriptor;
  attributes.SecurityQualityOfService = nullptr;
  IO_STATUS_BLOCK io{};
  HANDLE raw = nullptr;
  const NTSTATUS status =
      calls.create_file(&raw, row.access, &attributes, &io, nullptr, row.attributes, row.share,
                        row.disposition, row.options, nullptr, 0);
  // Owned before anything is judged, so that no outcome can leak a handle.
  Handle opened(raw);
  if (missing == Missing::allowed && status == kStatusObjectNameNotFound && !opened) return opened;
  require(status == kStatusSuccess && opened);
  return opened;
}

void require_kind(const Handle& handle, Kind kind) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  require(::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag,
                                         sizeof(tag)) != 0);
  require(((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == (kind == Kind::directory));
  require((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
}

Handle open_relative(NativeHandle parent, std::wstring_view name, const OpenRow& row,
                     Missing missing) {
  Handle opened = nt_open(parent, name, row, nullptr, missing);
  if (opened) require_kind(opened, row.kind);
  return opened;
}

}  // namespace zu::archive_fs::windows
