#include "windows/wine_substitutes.hpp"

#include <winternl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "windows/import_patch.hpp"

namespace zu_test::windows {
namespace {

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
using NtQueryObjectCall = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

constexpr wchar_t kStoreVariable[] = L"ZU_TEST_WINE_DESCRIPTORS";
constexpr ULONG kObjectBasicInformation = 0;
// IO_STATUS_BLOCK.Information after an open that made a new object.
constexpr ULONG_PTR kFileCreated = 2;

// The leading members of OBJECT_BASIC_INFORMATION, as NtQueryObject fills them.
struct ObjectBasics {
  ULONG attributes;
  ACCESS_MASK granted_access;
  ULONG handle_count;
  ULONG pointer_count;
  ULONG reserved[10];
};

HMODULE ntdll() { return ::GetModuleHandleW(L"ntdll.dll"); }

template <typename Call>
Call ntdll_entry(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(::GetProcAddress(ntdll(), name)));
}

NtCreateFileCall real_nt_create_file() {
  static const NtCreateFileCall call = ntdll_entry<NtCreateFileCall>("NtCreateFile");
  return call;
}

std::wstring& store_folder() {
  static std::wstring folder;
  return folder;
}

std::atomic<long> redirects{0};

// --- The kept descriptors ------------------------------------------------------------

// record_path returns the file that keeps the descriptor of the object behind handle, or
// an empty text when the handle's identity cannot be read.
std::wstring record_path(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle, &info) == 0) return {};
  wchar_t name[40];
  std::swprintf(name, 40, L"\\%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                info.nFileIndexHigh, info.nFileIndexLow);
  return store_folder() + name;
}

std::vector<unsigned char> read_record(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size) != 0 && size.QuadPart > 0 && size.QuadPart < (1 << 20)) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) == 0 ||
        got != bytes.size()) {
      bytes.clear();
    }
  }
  ::CloseHandle(file);
  return bytes;
}

// write_record replaces the record in one step, so that a process of the same test that
// reads it meanwhile sees the old descriptor or the new one, never a part.
bool write_record(const std::wstring& path, const void* bytes, DWORD size) {
  static std::atomic<unsigned> counter{0};
  wchar_t suffix[48];
  std::swprintf(suffix, 48, L".%lu-%lu-%u", ::GetCurrentProcessId(), ::GetCurrentThreadId(),
                counter.fetch_add(1));
  const std::wstring staging = path + suffix;
  const HANDLE file = ::CreateFileW(staging.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool written = ::WriteFile(file, bytes, size, &put, nullptr) != 0 && put == size;
  ::CloseHandle(file);
  if (!written || ::MoveFileExW(staging.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
    ::DeleteFileW(staging.c_str());
    return false;
  }
  return true;
}

// self_relative returns descriptor in self-relative form, or nothing when it is not valid.
std::vector<unsigned char> self_relative(PSECURITY_DESCRIPTOR descriptor) {
  std::vector<unsigned char> out;
  if (::IsValidSecurityDescriptor(descriptor) == 0) return out;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (::GetSecurityDescriptorControl(descriptor, &control, &revision) == 0) return out;
  if ((control & SE_SELF_RELATIVE) != 0) {
    const DWORD length = ::GetSecurityDescriptorLength(descriptor);
    const auto* begin = static_cast<const unsigned char*>(descriptor);
    out.assign(begin, begin + length);
    return out;
  }
  DWORD length = 0;
  ::MakeSelfRelativeSD(descriptor, nullptr, &length);
  out.resize(length);
  if (length == 0 || ::MakeSelfRelativeSD(descriptor, out.data(), &length) == 0) out.clear();
  return out;
}

ACCESS_MASK granted_access(HANDLE handle) {
  static const NtQueryObjectCall query = ntdll_entry<NtQueryObjectCall>("NtQueryObject");
  ObjectBasics basics{};
  if (query == nullptr ||
      query(handle, kObjectBasicInformation, &basics, sizeof(basics), nullptr) != 0) {
    return 0;
  }
  return basics.granted_access;
}

// --- The substitutes -----------------------------------------------------------------

DWORD WINAPI get_security_info(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                               PSID* owner, PSID* group, PACL* list, PACL* system_list,
                               PSECURITY_DESCRIPTOR* descriptor) {
  const std::wstring path = type == SE_FILE_OBJECT ? record_path(handle) : std::wstring();
  const std::vector<unsigned char> kept = path.empty() ? std::vector<unsigned char>() : read_record(path);
  if (kept.empty()) {
    return ::GetSecurityInfo(handle, type, info, owner, group, list, system_list, descriptor);
  }
  if ((granted_access(handle) & READ_CONTROL) == 0) return ERROR_ACCESS_DENIED;
  auto* copy = static_cast<unsigned char*>(::LocalAlloc(LMEM_FIXED, kept.size()));
  if (copy == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(copy, kept.data(), kept.size());
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (owner != nullptr) {
    *owner = nullptr;
    if ((info & OWNER_SECURITY_INFORMATION) != 0) ::GetSecurityDescriptorOwner(copy, owner, &defaulted);
  }
  if (group != nullptr) {
    *group = nullptr;
    if ((info & GROUP_SECURITY_INFORMATION) != 0) ::GetSecurityDescriptorGroup(copy, group, &defaulted);
  }
  if (list != nullptr) {
    *list = nullptr;
    if ((info & DACL_SECURITY_INFORMATION) != 0) {
      PACL found = nullptr;
      ::GetSecurityDescriptorDacl(copy, &present, &found, &defaulted);
      *list = present != FALSE ? found : nullptr;
    }
  }
  if (system_list != nullptr) *system_list = nullptr;
  if (descriptor != nullptr) {
    *descriptor = copy;
  } else if (owner == nullptr && group == nullptr && list == nullptr) {
    ::LocalFree(copy);
  }
  return ERROR_SUCCESS;
}

DWORD WINAPI set_security_info(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                               PSID owner, PSID group, PACL list, PACL system_list) {
  if (type != SE_FILE_OBJECT || (info & SACL_SECURITY_INFORMATION) != 0) {
    return ::SetSecurityInfo(handle, type, info, owner, group, list, system_list);
  }
  const std::wstring path = record_path(handle);
  if (path.empty()) return ERROR_INVALID_HANDLE;
  // The rights Windows asks of the handle for each part.
  ACCESS_MASK needed = 0;
  if ((info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) != 0) needed |= WRITE_OWNER;
  if ((info & DACL_SECURITY_INFORMATION) != 0) needed |= WRITE_DAC;
  if ((granted_access(handle) & needed) != needed) return ERROR_ACCESS_DENIED;

  // The parts not written stay as they are: the kept ones, or Wine's when none is kept.
  std::vector<unsigned char> current = read_record(path);
  PSECURITY_DESCRIPTOR wine = nullptr;
  if (current.empty()) {
    PSID o = nullptr;
    PSID g = nullptr;
    PACL d = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                              DACL_SECURITY_INFORMATION,
                          &o, &g, &d, nullptr, &wine) == ERROR_SUCCESS) {
      current = self_relative(wine);
    }
  }
  PSID old_owner = nullptr;
  PSID old_group = nullptr;
  PACL old_list = nullptr;
  BOOL old_present = FALSE;
  BOOL defaulted = FALSE;
  SECURITY_DESCRIPTOR_CONTROL old_control = 0;
  DWORD revision = 0;
  if (!current.empty()) {
    ::GetSecurityDescriptorOwner(current.data(), &old_owner, &defaulted);
    ::GetSecurityDescriptorGroup(current.data(), &old_group, &defaulted);
    ::GetSecurityDescriptorDacl(current.data(), &old_present, &old_list, &defaulted);
    ::GetSecurityDescriptorControl(current.data(), &old_control, &revision);
  }

  SECURITY_DESCRIPTOR made{};
  ::InitializeSecurityDescriptor(&made, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorOwner(&made, (info & OWNER_SECURITY_INFORMATION) != 0 ? owner : old_owner,
                               FALSE);
  ::SetSecurityDescriptorGroup(&made, (info & GROUP_SECURITY_INFORMATION) != 0 ? group : old_group,
                               FALSE);
  if ((info & DACL_SECURITY_INFORMATION) != 0) {
    // A null list is a list that is present and grants everyone everything.
    ::SetSecurityDescriptorDacl(&made, TRUE, list, FALSE);
  } else {
    ::SetSecurityDescriptorDacl(&made, old_present, old_list, FALSE);
  }
  bool protect = (old_control & SE_DACL_PROTECTED) != 0;
  if ((info & PROTECTED_DACL_SECURITY_INFORMATION) != 0) protect = true;
  if ((info & UNPROTECTED_DACL_SECURITY_INFORMATION) != 0) protect = false;
  ::SetSecurityDescriptorControl(&made, SE_DACL_PROTECTED, protect ? SE_DACL_PROTECTED : 0);
  const std::vector<unsigned char> bytes = self_relative(&made);
  if (wine != nullptr) ::LocalFree(wine);
  if (bytes.empty()) return ERROR_INVALID_PARAMETER;
  return write_record(path, bytes.data(), static_cast<DWORD>(bytes.size())) ? ERROR_SUCCESS
                                                                            : ERROR_WRITE_FAULT;
}

// volume_root returns the name under which Wine opens the root directory of the volume
// whose device `name` denotes with a trailing separator ("\Device\HarddiskVolume1\"), or
// an empty text for any other name.
std::wstring volume_root(const UNICODE_STRING* name) {
  static constexpr wchar_t kPrefix[] = L"\\Device\\HarddiskVolume";
  constexpr std::size_t kPrefixUnits = sizeof(kPrefix) / sizeof(wchar_t) - 1;
  if (name == nullptr || name->Buffer == nullptr) return {};
  const std::wstring text(name->Buffer, name->Length / sizeof(wchar_t));
  if (text.size() < kPrefixUnits + 2 || text.compare(0, kPrefixUnits, kPrefix) != 0 ||
      text.back() != L'\\') {
    return {};
  }
  for (std::size_t i = kPrefixUnits; i + 1 < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return {};
  }
  const std::wstring device = text.substr(0, text.size() - 1);
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const wchar_t drive[3] = {letter, L':', L'\0'};
    wchar_t target[1024] = {};
    if (::QueryDosDeviceW(drive, target, 1024) != 0 && device == target) {
      return std::wstring(L"\\??\\") + letter + L":\\";
    }
  }
  return {};
}

// creation_lock returns the mutex, one per test (named after the descriptor folder), that
// a creation holds from the real NtCreateFile until its descriptor is stored, and that
// terminate_child holds while it ends a child: Windows sets a new object's descriptor in
// the same call that makes it, so no process may end between the two. (null before the
// descriptor folder exists)
HANDLE creation_lock() {
  static const HANDLE lock = [] {
    if (store_folder().empty()) return HANDLE{nullptr};
    std::wstring name = L"zu-creations-" + store_folder();
    for (wchar_t& unit : name) {
      if (unit == L'\\' || unit == L':') unit = L'_';
    }
    return ::CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str());
  }();
  return lock;
}

// CreationHeld holds creation_lock for its lifetime; an abandoned lock (its holder ended)
// is held all the same.
class CreationHeld {
 public:
  CreationHeld() : lock_(creation_lock()) {
    if (lock_ != nullptr) ::WaitForSingleObject(lock_, INFINITE);
  }
  ~CreationHeld() {
    if (lock_ != nullptr) ::ReleaseMutex(lock_);
  }
  CreationHeld(const CreationHeld&) = delete;
  CreationHeld& operator=(const CreationHeld&) = delete;

 private:
  HANDLE lock_;
};

NTSTATUS NTAPI nt_create_file(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                              PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation, ULONG file_attributes,
                              ULONG share, ULONG disposition, ULONG options, PVOID extended,
                              ULONG extended_length) {
  OBJECT_ATTRIBUTES opened = *attributes;
  UNICODE_STRING root_name{};
  std::wstring root;
  if (attributes->RootDirectory == nullptr) root = volume_root(attributes->ObjectName);
  if (!root.empty()) {
    root_name.Buffer = root.data();
    root_name.Length = static_cast<USHORT>(root.size() * sizeof(wchar_t));
    root_name.MaximumLength = root_name.Length;
    opened.ObjectName = &root_name;
    redirects.fetch_add(1);
  }
  const CreationHeld held;
  const NTSTATUS status =
      real_nt_create_file()(handle, access, &opened, io, allocation, file_attributes, share,
                            disposition, options, extended, extended_length);
  if (status == 0 && io->Information == kFileCreated) {
    // A new object: what it was created with is its descriptor from now on; one created
    // without a list keeps Wine's answer.
    const std::wstring path = record_path(*handle);
    const std::vector<unsigned char> bytes =
        attributes->SecurityDescriptor != nullptr ? self_relative(attributes->SecurityDescriptor)
                                                  : std::vector<unsigned char>();
    BOOL present = FALSE;
    PACL list = nullptr;
    BOOL defaulted = FALSE;
    if (!bytes.empty() &&
        ::GetSecurityDescriptorDacl(const_cast<unsigned char*>(bytes.data()), &present, &list,
                                    &defaulted) != 0 &&
        present != FALSE) {
      write_record(path, bytes.data(), static_cast<DWORD>(bytes.size()));
    } else if (!path.empty()) {
      ::DeleteFileW(path.c_str());
    }
  }
  return status;
}

FARPROC WINAPI get_proc_address(HMODULE module, LPCSTR name) {
  // An ordinal is passed in place of a name with its upper bits clear.
  const bool by_name = (reinterpret_cast<ULONG_PTR>(name) >> 16) != 0;
  if (module == ntdll() && by_name && std::strcmp(name, "NtCreateFile") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&nt_create_file));
  }
  return ::GetProcAddress(module, name);
}

// --- The folder of one test -------------------------------------------------------------

void remove_store() {
  const std::wstring& folder = store_folder();
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") ::DeleteFileW((folder + L"\\" + name).c_str());
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
  }
  ::RemoveDirectoryW(folder.c_str());
}

// open_store takes the folder a parent process named, or makes one and names it for the
// child processes this one starts.
bool open_store() {
  wchar_t inherited[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(kStoreVariable, inherited, MAX_PATH) != 0) {
    store_folder() = inherited;
    return true;
  }
  wchar_t temp[MAX_PATH] = {};
  if (::GetTempPathW(MAX_PATH, temp) == 0) return false;
  wchar_t name[64];
  std::swprintf(name, 64, L"zu-descriptors-%lu-%llu", ::GetCurrentProcessId(),
                static_cast<unsigned long long>(::GetTickCount64()));
  store_folder() = std::wstring(temp) + name;
  if (::CreateDirectoryW(store_folder().c_str(), nullptr) == 0) return false;
  ::SetEnvironmentVariableW(kStoreVariable, store_folder().c_str());
  std::atexit(remove_store);
  return true;
}

SecurityCalls& calls() {
  static SecurityCalls table{&::GetSecurityInfo, &::SetSecurityInfo};
  return table;
}

}  // namespace

bool under_wine() { return ::GetProcAddress(ntdll(), "wine_get_version") != nullptr; }

void terminate_child(HANDLE process) {
  const CreationHeld held;
  ::TerminateProcess(process, 137);
  ::WaitForSingleObject(process, INFINITE);
}

const SecurityCalls& security_calls() { return calls(); }

long root_redirects() { return redirects.load(); }

bool install_substitutes(HMODULE library, bool quiet) {
  if (!under_wine()) return false;
  if (library == nullptr || !open_store()) {
    std::fprintf(stderr, "zu test: the Wine substitutes could not be installed\n");
    std::abort();
  }
  const auto patch = [library](const char* dll, const char* function, void* replacement) {
    if (patch_import(library, dll, function, replacement) == nullptr) {
      std::fprintf(stderr, "zu test: the library imports no %s from %s\n", function, dll);
      std::abort();
    }
  };
  patch("ADVAPI32.dll", "GetSecurityInfo", reinterpret_cast<void*>(&get_security_info));
  patch("ADVAPI32.dll", "SetSecurityInfo", reinterpret_cast<void*>(&set_security_info));
  patch("KERNEL32.dll", "GetProcAddress", reinterpret_cast<void*>(&get_proc_address));
  calls() = SecurityCalls{&get_security_info, &set_security_info};
  if (!quiet) {
    std::fprintf(stderr,
                 "zu test: Wine substitutes in use: security descriptors kept per file identity "
                 "in %ls; a volume root opened by its device name is opened as its drive's "
                 "root\n",
                 store_folder().c_str());
  }
  return true;
}

void forget_descriptor(HANDLE handle) {
  if (store_folder().empty()) return;
  const std::wstring path = record_path(handle);
  if (!path.empty()) ::DeleteFileW(path.c_str());
}

}  // namespace zu_test::windows
