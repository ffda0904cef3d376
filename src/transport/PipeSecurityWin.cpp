// The current user's SID, a descriptor that admits that user only, and the check of a pipe
// peer's user through its process token. advapi32 is loaded from the system folder at run
// time; every failure counts as "not the current user".
#ifdef _WIN32

#include "transport/PipeSecurityWin.h"

#include <memory>
#include <mutex>
#include <vector>

namespace IPC {

namespace {

// The advapi32 functions this file needs, looked up once.
struct Advapi {
  decltype(&::OpenProcessToken) openProcessToken = nullptr;
  decltype(&::GetTokenInformation) getTokenInformation = nullptr;
  decltype(&::EqualSid) equalSid = nullptr;
  decltype(&::GetLengthSid) getLengthSid = nullptr;
  decltype(&::InitializeAcl) initializeAcl = nullptr;
  decltype(&::AddAccessAllowedAce) addAccessAllowedAce = nullptr;
  decltype(&::InitializeSecurityDescriptor) initializeSecurityDescriptor = nullptr;
  decltype(&::SetSecurityDescriptorDacl) setSecurityDescriptorDacl = nullptr;

  bool Complete() const {
    return openProcessToken && getTokenInformation && equalSid && getLengthSid &&
           initializeAcl && addAccessAllowedAce && initializeSecurityDescriptor &&
           setSecurityDescriptorDacl;
  }
};

template <typename Function>
void Find(HMODULE library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// nullptr when advapi32 or one of its functions is missing.
const Advapi* LoadAdvapi() {
  static const Advapi* loaded = [] () -> const Advapi* {
    // From the system folder only, never from the application's or the current folder.
    const HMODULE library = LoadLibraryExA("advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) return nullptr;
    static Advapi advapi;
    Find(library, "OpenProcessToken", advapi.openProcessToken);
    Find(library, "GetTokenInformation", advapi.getTokenInformation);
    Find(library, "EqualSid", advapi.equalSid);
    Find(library, "GetLengthSid", advapi.getLengthSid);
    Find(library, "InitializeAcl", advapi.initializeAcl);
    Find(library, "AddAccessAllowedAce", advapi.addAccessAllowedAce);
    Find(library, "InitializeSecurityDescriptor", advapi.initializeSecurityDescriptor);
    Find(library, "SetSecurityDescriptorDacl", advapi.setSecurityDescriptorDacl);
    return advapi.Complete() ? &advapi : nullptr;
  }();
  return loaded;
}

// The TOKEN_USER of a process (its SID inside), or empty.
std::vector<unsigned char> ProcessUser(const Advapi& advapi, HANDLE process, DWORD& error) {
  HANDLE token = nullptr;
  if (!advapi.openProcessToken(process, TOKEN_QUERY, &token)) {
    error = GetLastError();
    return {};
  }
  std::vector<unsigned char> user;
  DWORD size = 0;
  advapi.getTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size > 0) {
    user.resize(size);
    if (!advapi.getTokenInformation(token, TokenUser, user.data(), size, &size)) {
      error = GetLastError();
      user.clear();
    }
  } else {
    error = GetLastError();
  }
  CloseHandle(token);
  return user;
}

PSID SidOf(std::vector<unsigned char>& user) {
  return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

// The current process's user, looked up once; empty when it cannot be.
std::vector<unsigned char>& CurrentUser() {
  static std::vector<unsigned char> user = [] {
    const Advapi* advapi = LoadAdvapi();
    DWORD ignored = 0;
    return advapi ? ProcessUser(*advapi, GetCurrentProcess(), ignored)
                  : std::vector<unsigned char>();
  }();
  return user;
}

struct UserOnlyDescriptor {
  SECURITY_DESCRIPTOR descriptor{};
  std::vector<unsigned char> acl;
  SECURITY_ATTRIBUTES attributes{};
};

}  // namespace

SECURITY_ATTRIBUTES* CurrentUserOnlyAttributes() {
  static UserOnlyDescriptor* made = [] () -> UserOnlyDescriptor* {
    const Advapi* advapi = LoadAdvapi();
    std::vector<unsigned char>& user = CurrentUser();
    if (advapi == nullptr || user.empty()) return nullptr;
    const PSID sid = SidOf(user);
    static UserOnlyDescriptor result;
    // One access-allowed entry: its header, its mask, then the SID in place of the
    // SidStart field it starts with.
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) +
                          advapi->getLengthSid(sid);
    result.acl.assign(aclSize, 0);
    auto* acl = reinterpret_cast<ACL*>(result.acl.data());
    if (!advapi->initializeAcl(acl, aclSize, ACL_REVISION) ||
        !advapi->addAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
        !advapi->initializeSecurityDescriptor(&result.descriptor,
                                              SECURITY_DESCRIPTOR_REVISION) ||
        !advapi->setSecurityDescriptorDacl(&result.descriptor, TRUE, acl, FALSE)) {
      return nullptr;
    }
    result.attributes.nLength = sizeof result.attributes;
    result.attributes.lpSecurityDescriptor = &result.descriptor;
    result.attributes.bInheritHandle = FALSE;
    return &result;
  }();
  return made ? &made->attributes : nullptr;
}

bool PipePeerIsCurrentUser(HANDLE pipe, bool isServer, DWORD& error) {
  error = ERROR_ACCESS_DENIED;
  const Advapi* advapi = LoadAdvapi();
  std::vector<unsigned char>& own = CurrentUser();
  if (advapi == nullptr || own.empty()) return false;
  ULONG pid = 0;
  const BOOL known = isServer ? GetNamedPipeClientProcessId(pipe, &pid)
                              : GetNamedPipeServerProcessId(pipe, &pid);
  if (!known) {
    error = GetLastError();
    return false;
  }
  if (pid == 0) {
    // No Windows client has process 0; Wine reports it because it does not record the
    // client's process. The descriptor, which lets only this user open the pipe, is then
    // the only guard.
    error = ERROR_SUCCESS;
    return isServer;
  }
  // Another user's process cannot be opened: that too is a refusal.
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) {
    error = GetLastError();
    return false;
  }
  DWORD tokenError = ERROR_ACCESS_DENIED;
  std::vector<unsigned char> peer = ProcessUser(*advapi, process, tokenError);
  CloseHandle(process);
  if (peer.empty()) {
    error = tokenError;
    return false;
  }
  if (!advapi->equalSid(SidOf(peer), SidOf(own))) return false;
  error = ERROR_SUCCESS;
  return true;
}

}  // namespace IPC

#endif  // _WIN32
