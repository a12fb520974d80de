#include "archive_fs/windows/security.hpp"

#include <utility>

#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {
namespace {

// user_token returns the calling thread's token, or the process token when the thread
// has none (it is not impersonating).
Handle user_token() {
  HANDLE token = nullptr;
  // OpenAsSelf: the token is opened with the process's rights, so an impersonated user
  // that may not read its own token still yields it.
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token) != 0) {
    return Handle(token);
  }
  require(::GetLastError() == ERROR_NO_TOKEN);
  require(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) != 0);
  return Handle(token);
}

}  // namespace

UserRecord::UserRecord(std::unique_ptr<unsigned char[]> record) noexcept
    : record_(std::move(record)) {}

PSID UserRecord::sid() const noexcept {
  return reinterpret_cast<const TOKEN_USER*>(record_.get())->User.Sid;
}

UserRecord current_user() {
  const Handle token = user_token();
  require(static_cast<bool>(token));
  DWORD size = 0;
  require(::GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size) == 0);
  require(::GetLastError() == ERROR_INSUFFICIENT_BUFFER && size >= sizeof(TOKEN_USER));
  // new[] storage is aligned for any object that fits, as TOKEN_USER needs.
  auto record = std::make_unique<unsigned char[]>(size);
  require(::GetTokenInformation(token.get(), ::TokenUser, record.get(), size, &size) != 0);
  UserRecord user(std::move(record));
  require(::IsValidSid(user.sid()) != 0);
  return user;
}

PrivateDescriptor::PrivateDescriptor(ACCESS_MASK mask) : user_(current_user()) {
  // Exactly one entry: the list head, the entry without its identifier's first DWORD,
  // and the identifier.
  const DWORD list_size = static_cast<DWORD>(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) -
                                             sizeof(DWORD)) +
                          ::GetLengthSid(user_.sid());
  list_ = std::make_unique<DWORD[]>((list_size + sizeof(DWORD) - 1) / sizeof(DWORD));
  require(::InitializeAcl(list(), list_size, ACL_REVISION) != 0);
  // Flags 0: the entry is neither inherited nor handed down to children.
  require(::AddAccessAllowedAceEx(list(), ACL_REVISION, 0, mask, user_.sid()) != 0);
  require(::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) != 0);
  require(::SetSecurityDescriptorOwner(&descriptor_, user_.sid(), FALSE) != 0);
  require(::SetSecurityDescriptorDacl(&descriptor_, TRUE, list(), FALSE) != 0);
  // Protected: nothing of the parent's inheritable entries is merged in.
  require(::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED) !=
          0);
}

PACL PrivateDescriptor::list() const noexcept { return reinterpret_cast<PACL>(list_.get()); }

}  // namespace zu::archive_fs::windows
