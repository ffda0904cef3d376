// The Windows backend of the named-pipe channel: a kernel32 message pipe in non-blocking mode,
// polled every few milliseconds within each operation's time limit.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// winuser.h maps SendMessage to SendMessageA, which would rename the channel's member.
#undef SendMessage

#include <algorithm>
#include <chrono>
#include <cstring>

#include "transport/NamedPipe.h"
#include "transport/PipeSecurityWin.h"

namespace IPC {

namespace {

// Server: a duplex pipe of message type, read in message mode, non-blocking, for local
// clients only. Only the first instance of a name may be created here, so a name that
// another process made first is refused (ERROR_ACCESS_DENIED) instead of joined.
constexpr DWORD kServerOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE;
constexpr DWORD kServerPipeMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT | PIPE_REJECT_REMOTE_CLIENTS;
// Client: read and write, no sharing. The server may only identify the client, never act
// with its rights, so a process squatting the name gains nothing from a connection.
constexpr DWORD kClientAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kClientFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
// A client handle starts in blocking mode: it is switched to non-blocking as well, or a read
// would wait for a message past its time limit.
constexpr DWORD kClientPipeMode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
// Logged when a zero-byte write (no room in the pipe yet) lasted until the deadline.
constexpr DWORD kNoRoomError = WAIT_TIMEOUT;

HANDLE ToHandle(NamedPipe::NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

NamedPipe::NativeHandle FromHandle(HANDLE handle) {
  return reinterpret_cast<NamedPipe::NativeHandle>(handle);
}

// The peer or the pipe itself is gone: the connection must be made anew.
bool PipeGone(DWORD error) {
  return error == ERROR_BAD_PIPE || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_INVALID_HANDLE || error == ERROR_BROKEN_PIPE;
}

// No client on a server instance (yet, or any more).
bool NotConnected(DWORD error) {
  return error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_PIPE_LISTENING;
}

// Why a client could not connect, as the channel reports it.
ChannelError OpenError(DWORD error) {
  if (error == ERROR_PIPE_BUSY) return ChannelError::Busy;
  if (error == ERROR_ACCESS_DENIED) return ChannelError::Access;
  return ChannelError::Timeout;  // no pipe of the name within the limit
}

// The ANSI calls end the path at its first NUL, which would name another pipe.
bool PathHasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// The longest single wait for a busy pipe before the open is tried again.
constexpr DWORD kBusyWaitSliceMs = 50;

// Whole milliseconds until the deadline, 0 once it has passed.
DWORD MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

// Reads and drops the pieces of a message that did not fit in one read.
void DiscardRestOfMessage(HANDLE pipe, char* buffer, DWORD size) {
  DWORD received = 0;
  while (!ReadFile(pipe, buffer, size, &received, nullptr) && GetLastError() == ERROR_MORE_DATA) {
  }
}

}  // namespace

bool NamedPipe::OpenServer() {
  if (PathHasNul(pipePath_)) {
    LogCreateFailed(ERROR_INVALID_NAME);
    SetChannelError(ChannelError::Other);
    return false;
  }
  SECURITY_ATTRIBUTES* const userOnly = CurrentUserOnlyAttributes();
  if (userOnly == nullptr) {
    // Never a pipe that anyone could open.
    LogCreateFailed(ERROR_ACCESS_DENIED);
    SetChannelError(ChannelError::Access);
    return false;
  }
  const HANDLE pipe = CreateNamedPipeA(pipePath_.c_str(), kServerOpenMode, kServerPipeMode,
                                       PIPE_UNLIMITED_INSTANCES, kPipeBufferSize,
                                       kPipeBufferSize, 0, userOnly);
  if (pipe == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    LogCreateFailed(error);
    SetChannelError(error == ERROR_ACCESS_DENIED ? ChannelError::Access : ChannelError::Other);
    return false;
  }
  handle_ = FromHandle(pipe);
  clientChecked_ = false;
  // Non-blocking: this only starts listening. A client that comes later is picked up by the
  // reads and writes, which call it again.
  ConnectNamedPipe(pipe, nullptr);
  return true;
}

bool NamedPipe::OpenClient(uint32_t timeoutMs) {
  if (PathHasNul(pipePath_)) {
    LogClientOpenFailed(ERROR_INVALID_NAME);
    SetChannelError(ChannelError::Other);
    return false;
  }
  const auto deadline = DeadlineAfter(timeoutMs);
  DWORD error = 0;
  // At least one attempt, however late the first one starts.
  for (;;) {
    const HANDLE pipe = CreateFileA(pipePath_.c_str(), kClientAccess, 0, nullptr, OPEN_EXISTING,
                                    kClientFlags, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      DWORD mode = kClientPipeMode;
      if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        error = GetLastError();
        CloseHandle(pipe);
      } else if (!PipePeerIsCurrentUser(pipe, false, error)) {
        // Another user's process holds the name, so no server of ours can appear under it:
        // give up at once rather than send it anything.
        CloseHandle(pipe);
        error = ERROR_ACCESS_DENIED;
        break;
      } else {
        handle_ = FromHandle(pipe);
        return true;
      }
    } else {
      error = GetLastError();
      // Every instance is taken: wait for one to come free, never for the server's default
      // (whatever the maker of the name chose; a squatter may choose forever; 0 would mean
      // it), and in short slices within what is left of the limit: Wine does not always end
      // the wait when a server listens again on the instance it had, so the open is tried
      // again after each slice.
      if (error == ERROR_PIPE_BUSY) {
        WaitNamedPipeA(pipePath_.c_str(),
                       std::min<DWORD>(kBusyWaitSliceMs, std::max<DWORD>(1, MillisecondsLeft(deadline))));
      }
    }
    if (Clock::now() >= deadline) break;
    PauseUntil(deadline);
    if (Clock::now() >= deadline) break;
  }
  LogClientOpenFailed(error);
  SetChannelError(OpenError(error));
  return false;
}

void NamedPipe::Close() {
  if (handle_ == kInvalidHandle) return;
  // No flush and no disconnect: what was written stays readable by the peer after the
  // last handle of the instance is closed, and only a disconnect would discard it. A flush
  // would wait, without any limit, for a peer that may never read again.
  CloseHandle(ToHandle(handle_));
  handle_ = kInvalidHandle;
  clientChecked_ = false;
}

void NamedPipe::DropClient() {
  if (!IsServer() || handle_ == kInvalidHandle) return;
  // The same instance listens again: the name is never free for another process.
  const HANDLE pipe = ToHandle(handle_);
  if (clientChecked_) ++clientsLetGo_;
  DisconnectNamedPipe(pipe);
  ConnectNamedPipe(pipe, nullptr);
  clientChecked_ = false;
}

bool NamedPipe::Reconnect() {
  // A server lets its client go and listens again; a client opens the pipe anew.
  if (IsServer() && handle_ != kInvalidHandle) {
    DropClient();
    return true;
  }
  Close();
  return Open(kReopenTimeoutMs);
}

bool NamedPipe::ClientAdmitted(unsigned long& error) {
  if (clientChecked_) return true;
  const HANDLE pipe = ToHandle(handle_);
  // On a non-blocking instance this only reports whether a client is there.
  if (ConnectNamedPipe(pipe, nullptr)) {
    error = ERROR_PIPE_LISTENING;
    return false;
  }
  error = GetLastError();
  // ERROR_NO_DATA: a client came and closed its end; what it wrote may still wait.
  if (error != ERROR_PIPE_CONNECTED && error != ERROR_NO_DATA) return false;
  DWORD why = 0;
  if (!PipePeerIsCurrentUser(pipe, true, why)) {
    // Another user's process: refuse it and go on listening for a client of our own.
    DropClient();
    error = ERROR_PIPE_LISTENING;
    return false;
  }
  clientChecked_ = true;
  return true;
}

bool NamedPipe::ReceiveMessage(uint32_t timeoutMs, size_t& length) {
  const auto deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    DWORD error = ERROR_INVALID_HANDLE;
    if (handle_ != kInvalidHandle && (!IsServer() || ClientAdmitted(error))) {
      DWORD received = 0;
      std::unique_lock<std::mutex> hold(takeLock_);
      if (ReadFile(ToHandle(handle_), readBuffer_.get(), kReadBufferSize, &received, nullptr)) {
        ++taken_;
        length = received;
        return true;
      }
      error = GetLastError();
      if (error == ERROR_MORE_DATA) ++taken_;
    }

    if (error == ERROR_MORE_DATA) {
      // A message longer than any valid one: drop the rest of it and report it, rather than
      // take its tail for a message of its own.
      DiscardRestOfMessage(ToHandle(handle_), readBuffer_.get(), kReadBufferSize);
      LogOversizedMessage(ERROR_MORE_DATA);
      SetChannelError(ChannelError::TooLarge);
      return false;
    }
    // A client whose server disconnected it is as cut off as one whose server is gone.
    const bool cutOff = PipeGone(error) || (error == ERROR_PIPE_NOT_CONNECTED && !IsServer());
    if (cutOff && GetMode() == ClientRequest) {
      // The host hung up, and with it went any answer to what was sent: waiting on a new
      // connection would wait for nothing. The next write connects anew.
      Close();
      SetChannelError(ChannelError::Closed);
      return false;
    }
    if (cutOff) {
      std::lock_guard<std::mutex> hold(takeLock_);
      if (!Reconnect()) return false;
    } else if (NotConnected(error) && IsServer()) {
      ConnectNamedPipe(ToHandle(handle_), nullptr);
    }
    // ERROR_NO_DATA: nothing has arrived yet.
    if (Clock::now() >= deadline) break;
    PauseUntil(deadline);
    if (Clock::now() >= deadline) break;
  }
  SetChannelError(ChannelError::Timeout);
  return false;
}

bool NamedPipe::DiscardWaiting() {
  if (handle_ == kInvalidHandle) return false;
  const HANDLE pipe = ToHandle(handle_);
  DWORD received = 0;
  // The pipe does not block: with nothing waiting the read fails with ERROR_NO_DATA.
  if (ReadFile(pipe, readBuffer_.get(), kReadBufferSize, &received, nullptr)) return true;
  if (GetLastError() != ERROR_MORE_DATA) return false;
  DiscardRestOfMessage(pipe, readBuffer_.get(), kReadBufferSize);
  return true;
}

bool NamedPipe::ReceiveWaiting(size_t& length) {
  bool waiting = false;
  TakenMessages(waiting);
  if (waiting) return ReceiveMessage(0, length);
  SetChannelError(ChannelError::Timeout);
  return false;
}

uint64_t NamedPipe::TakenMessages(bool& waiting) {
  std::lock_guard<std::mutex> hold(takeLock_);
  DWORD available = 0;
  waiting = handle_ != kInvalidHandle &&
            PeekNamedPipe(ToHandle(handle_), nullptr, 0, nullptr, &available, nullptr) &&
            available > 0;
  return taken_;
}

// A pipe here is polled every few milliseconds within each operation, so a message is
// always left to Write.
bool NamedPipe::WriteNow(const std::string&) { return false; }

// A pipe handle is no socket for an event loop to watch.
NamedPipe::NativeHandle NamedPipe::DuplicateConnection() { return kInvalidHandle; }

bool NamedPipe::SpinCanPayOn(NativeHandle) { return true; }

void NamedPipe::CloseDuplicate(NativeHandle) {}

bool NamedPipe::SendMessage(const char* data, size_t length, uint32_t timeoutMs) {
  const auto deadline = DeadlineAfter(timeoutMs);
  const DWORD size = static_cast<DWORD>(length);
  DWORD error = 0;
  for (;;) {
    error = ERROR_INVALID_HANDLE;
    if (handle_ != kInvalidHandle && (!IsServer() || ClientAdmitted(error))) {
      DWORD written = 0;
      if (WriteFile(ToHandle(handle_), data, size, &written, nullptr)) {
        // One message goes whole or not at all. Nothing written means that the pipe has no
        // room for it yet, which a non-blocking pipe reports as success.
        if (written != 0) return written == size;
        error = kNoRoomError;
      } else {
        error = GetLastError();
      }
    }

    // On a write ERROR_NO_DATA means that the reader has closed its end.
    if (PipeGone(error) || error == ERROR_NO_DATA ||
        (error == ERROR_PIPE_NOT_CONNECTED && !IsServer())) {
      if (!Reconnect()) {
        if (LastError() == ChannelError::None) SetChannelError(ChannelError::Closed);
        return false;
      }
    } else if (NotConnected(error) && IsServer()) {
      ConnectNamedPipe(ToHandle(handle_), nullptr);
    }
    if (Clock::now() >= deadline) break;
    PauseUntil(deadline);
    if (Clock::now() >= deadline) break;
  }
  LogWriteFailed(error);
  SetChannelError(ChannelError::Timeout);
  return false;
}

}  // namespace IPC

#endif  // _WIN32
