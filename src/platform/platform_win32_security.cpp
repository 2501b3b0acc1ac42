// Windows implementation of the platform layer: access lists and the identity of the user.
//
// Windows has no permission bits. A mode that lets everybody write (the tag directory's 0777,
// the tag files' 0666) becomes the shared folder's access list: exactly two entries,
// Administrators (S-1-5-32-544) with full control and Everyone (S-1-1-0) with read, write
// and delete-child rights, both inherited by objects and sub-folders, and nothing inherited
// from the parent (a protected list). Any other mode keeps the access list the object
// inherited from its folder: the places the library keeps private files (the user's profile
// and temporary folder) are the user's own already.
#include "platform/platform_win32.h"
// After windows.h:
#include <sddl.h>

#include <memory>

namespace corvel::platform {

using win32::FromWide;
using win32::HandleOf;
using win32::ToWidePath;
namespace sys = win32::sys;

namespace {

constexpr Permissions kOthersWrite = 0002;
// GENERIC_READ | GENERIC_WRITE | FILE_DELETE_CHILD.
constexpr DWORD kEveryoneAccess = 0xC0000040;

struct SidFree {
  void operator()(PSID sid) const {
    if (sid) FreeSid(sid);
  }
};
using UniqueSid = std::unique_ptr<void, SidFree>;

struct LocalFreer {
  void operator()(void* memory) const {
    if (memory) LocalFree(memory);
  }
};

UniqueSid WellKnownSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second) {
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid)) {
    return nullptr;
  }
  return UniqueSid(sid);
}

EXPLICIT_ACCESS_W GrantTo(PSID sid, DWORD access) {
  EXPLICIT_ACCESS_W entry{};
  entry.grfAccessPermissions = access;
  entry.grfAccessMode = GRANT_ACCESS;
  entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
  return entry;
}

// Builds the shared list and hands it to `apply`; the Win32 result (ERROR_SUCCESS: set).
template <typename Apply>
DWORD WithSharedAccessList(Apply apply) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  UniqueSid everyone = WellKnownSid(world, 1, SECURITY_WORLD_RID, 0);
  UniqueSid administrators =
      WellKnownSid(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  if (!everyone || !administrators) return GetLastError();
  EXPLICIT_ACCESS_W entries[] = {GrantTo(administrators.get(), GENERIC_ALL),
                                 GrantTo(everyone.get(), kEveryoneAccess)};
  PACL list = nullptr;
  const DWORD built = SetEntriesInAclW(2, entries, nullptr, &list);
  if (built != ERROR_SUCCESS) return built;
  std::unique_ptr<void, LocalFreer> owned(list);
  return apply(list);
}

constexpr SECURITY_INFORMATION kProtectedDacl =
    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;

int ResultOf(DWORD error) {
  if (error == ERROR_SUCCESS) return 0;
  SetLastError(error);
  return -1;
}

// The user of the process's token (kind TokenUser) or the owner it gives new objects
// (TokenOwner), copied into `buffer`.
PSID TokenSid(TOKEN_INFORMATION_CLASS kind, std::unique_ptr<char[]>* buffer) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return nullptr;
  }
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  PSID sid = nullptr;
  if (size > 0) {
    *buffer = std::make_unique<char[]>(size);
    if (GetTokenInformation(token, kind, buffer->get(), size, &size)) {
      sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer->get())->User.Sid
                              : reinterpret_cast<TOKEN_OWNER*>(buffer->get())->Owner;
    }
  }
  CloseHandle(token);
  return sid;
}

}  // namespace

namespace win32 {

// True when the object's owner is this process's user or the owner its token gives new
// objects (an administrator's files belong to the Administrators group).
bool OwnedByCurrentUser(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  std::unique_ptr<void, LocalFreer> owned(descriptor);
  std::unique_ptr<char[]> user_buffer, owner_buffer;
  PSID user = TokenSid(TokenUser, &user_buffer);
  PSID default_owner = TokenSid(TokenOwner, &owner_buffer);
  return owner &&
         ((user && EqualSid(owner, user)) || (default_owner && EqualSid(owner, default_owner)));
}

}  // namespace win32

int ChangeMode(const std::string& path, Permissions mode) {
  std::wstring wide;
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!ToWidePath(path, &wide)) return -1;
  if ((mode & kOthersWrite) == 0) return 0;
  return ResultOf(WithSharedAccessList([&wide](PACL list) {
    return sys::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, kProtectedDacl, nullptr, nullptr,
                                      list, nullptr);
  }));
}

int ChangeModeFd(int fd, Permissions mode) {
  HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  if ((mode & kOthersWrite) == 0) return 0;
  // The same object again, with the right to change its list: never what the name leads to
  // by now.
  HANDLE writable = ReOpenFile(handle, READ_CONTROL | WRITE_DAC,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (writable == INVALID_HANDLE_VALUE) return -1;
  const DWORD result = WithSharedAccessList([writable](PACL list) {
    return sys::SetSecurityInfo(writable, SE_FILE_OBJECT, kProtectedDacl, nullptr, nullptr, list,
                                nullptr);
  });
  CloseHandle(writable);
  return ResultOf(result);
}

std::string EffectiveUserIdText() {
  std::unique_ptr<char[]> buffer;
  PSID user = TokenSid(TokenUser, &buffer);
  wchar_t* text = nullptr;
  if (!user || !ConvertSidToStringSidW(user, &text)) return "unknown";
  std::string result = FromWide(text);
  LocalFree(text);
  return result;
}

}  // namespace corvel::platform
