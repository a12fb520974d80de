#include "scratch.hpp"

#include <gtest/gtest.h>
// After windows.h (through scratch.hpp), which they build on.
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zu::archive_fs::testing {
namespace {

using zu_test::windows::security_calls;

std::string narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

// LocalMemory frees what a system call allocated with LocalAlloc.
struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

void remove_tree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileW(path.c_str());
    return;
  }
  // A reparse point is removed itself; what it points to is not the scratch's.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") remove_tree(path + L"\\" + name);
      } while (::FindNextFileW(search, &found) != 0);
      ::FindClose(search);
    }
  }
  ::RemoveDirectoryW(path.c_str());
}

// write_descriptor writes the parts `info` names of the descriptor text to an open
// handle, as SetSecurityInfo takes them.
DWORD write_descriptor(HANDLE handle, const std::string& sddl, DWORD info) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(wide(sddl).c_str(), SDDL_REVISION_1,
                                                             &raw, nullptr) == 0) {
    ADD_FAILURE() << "not a descriptor: " << sddl;
    return ERROR_INVALID_PARAMETER;
  }
  const LocalMemory descriptor(raw);
  PSID owner = nullptr;
  PACL list = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorOwner(raw, &owner, &defaulted);
  ::GetSecurityDescriptorDacl(raw, &present, &list, &defaulted);
  ::GetSecurityDescriptorControl(raw, &control, &revision);
  if ((info & DACL_SECURITY_INFORMATION) != 0) {
    info |= (control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                               : UNPROTECTED_DACL_SECURITY_INFORMATION;
  }
  return security_calls().set(handle, SE_FILE_OBJECT, info, owner, nullptr,
                              present != FALSE ? list : nullptr, nullptr);
}

std::string descriptor_text(HANDLE handle) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  PSID owner = nullptr;
  PACL list = nullptr;
  const DWORD info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (security_calls().get(handle, SE_FILE_OBJECT, info, &owner, nullptr, &list, nullptr, &raw) !=
      ERROR_SUCCESS) {
    return "(unreadable)";
  }
  const LocalMemory descriptor(raw);
  wchar_t* text = nullptr;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(raw, SDDL_REVISION_1, info, &text,
                                                             nullptr) == 0) {
    return "(not convertible)";
  }
  const LocalMemory owned_text(text);
  return narrow(text);
}

// The private descriptor of the shape, written to a new object made outside the library.
void make_private(HANDLE handle, Shape shape) {
  zu_test::windows::forget_descriptor(handle);
  ASSERT_EQ(write_descriptor(handle, private_sddl(shape == Shape::sealed ? "FR" : "FA"),
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION),
            static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace

std::wstring wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

Scratch::Scratch() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) {
    ADD_FAILURE() << "GetTempPathW: " << ::GetLastError();
    std::abort();
  }
  // Wine hands out the same small process identifiers again and again, so the time
  // keeps the names of successive test processes apart.
  path_ = narrow(temp) + "zu-scratch-" + std::to_string(::GetCurrentProcessId()) + "-" +
          std::to_string(::GetTickCount64()) + "-" + std::to_string(counter.fetch_add(1));
  if (::CreateDirectoryW(wide(path_).c_str(), nullptr) == 0) {
    ADD_FAILURE() << "CreateDirectoryW " << path_ << ": " << ::GetLastError();
    std::abort();
  }
  const Handle directory = open_raw(path_, READ_CONTROL | WRITE_DAC | WRITE_OWNER, kShareAll);
  make_private(directory.get(), Shape::writable);
}

// "\\?\" hands each name to the file system as it is, so entries whose names the Win32
// layer would trim (a trailing dot) are removed too.
Scratch::~Scratch() { remove_tree(L"\\\\?\\" + wide(path_)); }

std::string Scratch::at(std::string_view relative) const {
  std::string out = path_ + "\\" + std::string(relative);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

std::string user_sid() {
  HANDLE token = nullptr;
  EXPECT_NE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token), 0);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> record(size);
  EXPECT_NE(::GetTokenInformation(token, TokenUser, record.data(), size, &size), 0);
  ::CloseHandle(token);
  wchar_t* text = nullptr;
  EXPECT_NE(::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(record.data())->User.Sid, &text),
            0);
  const LocalMemory owned(text);
  return narrow(text);
}

std::string private_sddl(std::string_view rights) {
  const std::string user = user_sid();
  return "O:" + user + "D:P(A;;" + std::string(rights) + ";;;" + user + ")";
}

Handle open_raw(const std::string& path, unsigned long access, unsigned long share) {
  const HANDLE raw = ::CreateFileW(wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                   kNoFollow, nullptr);
  return raw == INVALID_HANDLE_VALUE ? Handle() : Handle(raw);
}

void make_directory(const std::string& path) {
  ASSERT_NE(::CreateDirectoryW(wide(path).c_str(), nullptr), 0) << path << ": " << ::GetLastError();
  const Handle directory = open_raw(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, kShareAll);
  ASSERT_TRUE(directory) << path;
  make_private(directory.get(), Shape::writable);
}

void make_file(const std::string& path, std::string_view bytes, Shape shape) {
  const HANDLE raw =
      ::CreateFileW(wide(path).c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                    FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE) << path << ": " << ::GetLastError();
  const Handle file(raw);
  DWORD put = 0;
  ASSERT_NE(::WriteFile(raw, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr), 0);
  ASSERT_EQ(put, bytes.size());
  make_private(raw, shape);
}

void set_descriptor(const std::string& path, const std::string& sddl, unsigned long info) {
  const Handle object = open_raw(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, kShareAll);
  ASSERT_TRUE(object) << path << ": " << ::GetLastError();
  ASSERT_EQ(write_descriptor(object.get(), sddl, info), static_cast<DWORD>(ERROR_SUCCESS)) << sddl;
}

std::string descriptor_of(const std::string& path) {
  const Handle object = open_raw(path, READ_CONTROL, kShareAll);
  if (!object) return "(cannot open)";
  return descriptor_text(object.get());
}

std::string descriptor_of(const Handle& handle) { return descriptor_text(handle.get()); }

Identity identity(const Handle& handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!handle || ::GetFileInformationByHandle(handle.get(), &info) == 0) return {};
  return {info.dwVolumeSerialNumber, std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

Identity identity(const std::string& path) {
  return identity(open_raw(path, FILE_READ_ATTRIBUTES, kShareAll));
}

bool same_object(const Handle& handle, const std::string& path) {
  const Status got = status(handle);
  const Identity expected = identity(path);
  return expected.volume != 0 && got.volume == expected.volume && got.file_id == expected.file_id;
}

Handle open_store(const std::string& path) {
  const Location location = locate(path);
  return open_directory(location.parent, location.name);
}

bool exists(const std::string& path) {
  return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> names_in(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((wide(path) + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = narrow(found.cFileName);
      if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_bytes(const std::string& path) {
  const Handle file = open_raw(path, GENERIC_READ, kShareAll);
  EXPECT_TRUE(file) << path;
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
    out.append(buffer, got);
  }
  return out;
}

void replace_file(const std::string& path, std::string_view bytes, Shape shape) {
  ::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(::DeleteFileW(wide(path).c_str()), 0) << path << ": " << ::GetLastError();
  make_file(path, bytes, shape);
}

namespace {

bool is_reparse_point(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool make_junction(const std::string& path, const std::string& target) {
  if (::CreateDirectoryW(wide(path).c_str(), nullptr) == 0) return false;
  const Handle link = open_raw(path, GENERIC_WRITE, kShareAll);
  // REPARSE_DATA_BUFFER of a mount point: the NT target ("\??\C:\...") and an empty
  // printed name, each terminated.
  const std::wstring substitute = L"\\??\\" + wide(target);
  const USHORT substitute_bytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
  std::vector<unsigned char> buffer(8 + 8 + substitute_bytes + 2 * sizeof(wchar_t), 0);
  const auto put16 = [&buffer](std::size_t at, USHORT value) { std::memcpy(&buffer[at], &value, 2); };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(&buffer[0], &tag, 4);
  put16(4, static_cast<USHORT>(buffer.size() - 8));  // ReparseDataLength
  put16(8, 0);                                        // SubstituteNameOffset
  put16(10, substitute_bytes);                        // SubstituteNameLength
  put16(12, static_cast<USHORT>(substitute_bytes + sizeof(wchar_t)));  // PrintNameOffset
  put16(14, 0);                                                        // PrintNameLength
  std::memcpy(&buffer[16], substitute.data(), substitute_bytes);
  DWORD returned = 0;
  const bool made = link && ::DeviceIoControl(link.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                              static_cast<DWORD>(buffer.size()), nullptr, 0,
                                              &returned, nullptr) != 0;
  const bool is_reparse = made && is_reparse_point(path);
  if (!is_reparse) ::RemoveDirectoryW(wide(path).c_str());
  return is_reparse;
}

bool make_symlink(const std::string& path, const std::string& target, bool directory) {
  const DWORD flags = (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  // Wine 8 answers success without making anything; only a reparse point found under
  // the name counts.
  if (::CreateSymbolicLinkW(wide(path).c_str(), wide(target).c_str(), flags) == 0) return false;
  return is_reparse_point(path);
}

}  // namespace zu::archive_fs::testing
