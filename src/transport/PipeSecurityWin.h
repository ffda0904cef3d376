// Who may use a channel's Windows pipe: the current user, and nobody else. The token and
// access-control calls live in advapi32, which is loaded when first needed, so that the
// add-on itself imports from kernel32 and the run-time only.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace IPC {

// Security attributes whose descriptor grants the current user full access and nobody
// else any, for a server's pipe; nullptr when they cannot be made (the pipe is then not
// made either). Made once per process.
SECURITY_ATTRIBUTES* CurrentUserOnlyAttributes();

// Whether the process at the other end of a connected pipe runs as the current user: a
// server asks about its client, a client about its server. False, with `error` set to the
// system's reason or ERROR_ACCESS_DENIED, when it does not or cannot be told.
bool PipePeerIsCurrentUser(HANDLE pipe, bool isServer, DWORD& error);

}  // namespace IPC

#endif  // _WIN32
