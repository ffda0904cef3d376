// The Linux backend of the named-pipe channel: an AF_UNIX SOCK_SEQPACKET socket in the abstract
// namespace, named by the pipe path, so that one socket message is one whole channel message.
#ifdef __linux__

#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstring>
#include <thread>

#include "transport/NamedPipe.h"

namespace IPC {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCreateFailed = "Open : Failed to create IPC object";
constexpr const char* kClientOpenFailed = "Open : Client IPC object open failed";
constexpr const char* kWriteFailed = "Write : Failed to write message";
constexpr int kListenBacklog = 16;

// Deadlines come from the monotonic clock, so a change of the wall clock cannot stretch or
// cut a wait. A limit of 0 counts as 1 ms.
Clock::time_point DeadlineAfter(uint32_t timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(std::max<uint32_t>(timeoutMs, 1));
}

// The abstract address: a NUL, then the path's bytes with no terminating NUL. A path that
// does not fit is refused rather than cut, since a cut name would reach another pipe.
bool MakeAddress(const std::string& path, sockaddr_un& address, socklen_t& length) {
  if (path.size() + 1 > sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  address.sun_path[0] = '\0';
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
  return true;
}

// Every socket is non-blocking (waits go through poll) and closed on exec.
int NewSocket() { return socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

// The abstract namespace has no permissions, so each end checks who is on the other side.
bool PeerIsSameUser(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
         size == sizeof credentials && credentials.uid == geteuid();
}

// How long the ends of a request pipe ask again for the next message before they sleep in
// poll(): a client for its answer, the server for the next request. Waking a thread that
// sleeps costs tens of microseconds, more when its CPU has gone idle, and in a run of
// calls the next message comes sooner than this.
constexpr auto kMessageSpin = std::chrono::microseconds(50);

// Whether the peer may run on a CPU this thread runs on. A spinning end must then yield
// at every turn: the kernel likes to wake the peer right where the spinner runs, and the
// peer must not wait for the spin to end before it can answer.
bool MayShareCpu(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  cpu_set_t own;
  cpu_set_t server;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
      sched_getaffinity(0, sizeof own, &own) != 0 ||
      sched_getaffinity(peer.pid, sizeof server, &server) != 0) {
    return true;  // unknown: never risk it
  }
  cpu_set_t both;
  CPU_AND(&both, &own, &server);
  return CPU_COUNT(&both) > 0;
}

// Gives a connection the channel's buffer size; the kernel doubles it for its bookkeeping,
// so the largest message always fits.
void SizeBuffer(int fd) {
  const int size = static_cast<int>(NamedPipe::kPipeBufferSize);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

bool PeerGone(int error) {
  return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == EBADF;
}

// A receive of 0 bytes is either the end of the stream or an empty message.
bool PeerClosed(int fd) {
  pollfd entry{fd, POLLRDHUP, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// Sleeps until `fd` is ready for `events`, or until the deadline. Returns at once on a signal;
// the caller simply tries again.
void WaitFor(int fd, short events, Clock::time_point deadline) {
  const auto remaining = deadline - Clock::now();
  if (remaining <= Clock::duration::zero()) return;
  // Rounded up, so that a wait never ends just short of the deadline and spins.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
  pollfd entry{fd, events, 0};
  poll(&entry, 1, static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX)));
}

void PauseUntil(Clock::time_point deadline) {
  const auto pauseEnd = Clock::now() + std::chrono::milliseconds(NamedPipe::kRetryPauseMs);
  std::this_thread::sleep_until(std::min(pauseEnd, deadline));
}

void CloseHandle(NamedPipe::NativeHandle& handle) {
  if (handle == NamedPipe::kInvalidHandle) return;
  close(static_cast<int>(handle));
  handle = NamedPipe::kInvalidHandle;
}

}  // namespace

bool NamedPipe::OpenServer() {
  sockaddr_un address;
  socklen_t length = 0;
  if (!MakeAddress(pipePath_, address, length)) {
    LogFailure(kCreateFailed, ENAMETOOLONG);
    return false;
  }
  const int fd = NewSocket();
  if (fd < 0) {
    LogFailure(kCreateFailed, static_cast<unsigned int>(errno));
    return false;
  }
  // A name bound by another process fails here with EADDRINUSE.
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      listen(fd, kListenBacklog) != 0) {
    const int error = errno;
    close(fd);
    LogFailure(kCreateFailed, static_cast<unsigned int>(error));
    return false;
  }
  handle_ = fd;
  return true;
}

bool NamedPipe::OpenClient(uint32_t timeoutMs) {
  sockaddr_un address;
  socklen_t length = 0;
  if (!MakeAddress(pipePath_, address, length)) {
    LogFailure(kClientOpenFailed, ENAMETOOLONG);
    return false;
  }
  const auto deadline = DeadlineAfter(timeoutMs);
  int error = 0;
  // At least one attempt, however late the first one starts.
  for (;;) {
    const int fd = NewSocket();
    if (fd < 0) {
      error = errno;
    } else if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
      // ECONNREFUSED: nothing listens under the name; EAGAIN: the server's queue is full.
      error = errno;
      close(fd);
    } else if (!PeerIsSameUser(fd)) {
      // Another user's process holds the name, so no server of ours can appear under it:
      // give up at once rather than keep knocking.
      close(fd);
      error = EACCES;
      break;
    } else {
      SizeBuffer(fd);
      handle_ = fd;
      spinForMessages_ = GetMode() == ClientRequest;
      spinYields_ = MayShareCpu(fd);
      return true;
    }
    if (Clock::now() >= deadline) break;
    PauseUntil(deadline);
  }
  LogFailure(kClientOpenFailed, static_cast<unsigned int>(error));
  return false;
}

void NamedPipe::Close() {
  DropClient();
  CloseHandle(handle_);
}

void NamedPipe::DropClient() { CloseHandle(client_); }

bool NamedPipe::Reconnect() {
  // A server keeps its name bound and just goes back to accepting.
  if (IsServer() && handle_ != kInvalidHandle) {
    DropClient();
    return true;
  }
  Close();
  return Open(kReopenTimeoutMs);
}

NamedPipe::NativeHandle NamedPipe::Connection(int& error) {
  if (!IsServer()) {
    if (handle_ == kInvalidHandle) error = EBADF;
    return handle_;
  }
  if (client_ == kInvalidHandle) {
    const int fd =
        accept4(static_cast<int>(handle_), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      error = errno;
      return kInvalidHandle;
    }
    if (!PeerIsSameUser(fd)) {
      // Another user's process: refuse it and go on waiting for a client of our own.
      close(fd);
      error = EAGAIN;
      return kInvalidHandle;
    }
    SizeBuffer(fd);
    client_ = fd;
    spinForMessages_ = GetMode() == ServerRequest;
    spinYields_ = MayShareCpu(fd);
  }
  return client_;
}

bool NamedPipe::ReceiveMessage(uint32_t timeoutMs, size_t& length) {
  const auto deadline = DeadlineAfter(timeoutMs);
  // Until when this read asks again before it sleeps; set when it first finds nothing.
  Clock::time_point spinEnd{};
  for (;;) {
    int error = 0;
    const NativeHandle fd = Connection(error);
    if (fd != kInvalidHandle) {
      // MSG_TRUNC makes the receive report a message's full length even when it is cut.
      const ssize_t received =
          recv(static_cast<int>(fd), readBuffer_.get(), kReadBufferSize, MSG_DONTWAIT | MSG_TRUNC);
      if (received > static_cast<ssize_t>(kReadBufferSize)) {
        LogDecompressFailure(EMSGSIZE);  // the rest of the message is already discarded
        return false;
      }
      if (received > 0 || (received == 0 && !PeerClosed(static_cast<int>(fd)))) {
        length = static_cast<size_t>(received);
        return true;
      }
      error = received == 0 ? ECONNRESET : errno;
    }
    if (error == EINTR || error == ECONNABORTED) continue;
    // Reconnecting, waiting and pausing all happen only before the deadline; every one of
    // them is followed by another attempt.
    if (Clock::now() >= deadline) return false;
    if (PeerGone(error)) {
      if (!Reconnect()) return false;
    } else if (error == EAGAIN || error == EWOULDBLOCK) {
      if (spinForMessages_ && fd != kInvalidHandle) {
        const auto now = Clock::now();
        if (spinEnd == Clock::time_point{}) spinEnd = std::min(now + kMessageSpin, deadline);
        if (now < spinEnd) {
          // Where the peer may share this CPU, each turn lets it run first.
          if (spinYields_) sched_yield();
          continue;
        }
      }
      // Nothing yet; a server without a client waits for one to connect.
      WaitFor(static_cast<int>(fd != kInvalidHandle ? fd : handle_), POLLIN, deadline);
    } else {
      PauseUntil(deadline);
    }
  }
}

bool NamedPipe::DiscardWaiting() {
  const NativeHandle fd = IsServer() ? client_ : handle_;
  if (fd == kInvalidHandle) return false;
  for (;;) {
    // No room given: MSG_TRUNC takes the whole message off the socket and copies nothing.
    const ssize_t received = recv(static_cast<int>(fd), nullptr, 0, MSG_DONTWAIT | MSG_TRUNC);
    if (received > 0) return true;
    if (received == 0) return !PeerClosed(static_cast<int>(fd));  // an empty message
    // Nothing waiting, or the peer is gone: the next Write reconnects.
    if (errno != EINTR) return false;
  }
}

bool NamedPipe::SendMessage(const char* data, size_t length, uint32_t timeoutMs) {
  const auto deadline = DeadlineAfter(timeoutMs);
  int error = 0;
  for (;;) {
    const NativeHandle fd = Connection(error);
    if (fd != kInvalidHandle) {
      const ssize_t sent = send(static_cast<int>(fd), data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
      // One message is sent whole or not at all; a short count is reported, not continued.
      if (sent >= 0) return static_cast<size_t>(sent) == length;
      error = errno;
    }
    const bool awaitingClient = fd == kInvalidHandle && (error == EAGAIN || error == EWOULDBLOCK);
    if (awaitingClient) error = ENOTCONN;
    if (error == EINTR || error == ECONNABORTED) continue;
    if (Clock::now() >= deadline) break;
    if (awaitingClient) {
      WaitFor(static_cast<int>(handle_), POLLIN, deadline);
    } else if (PeerGone(error)) {
      if (!Reconnect()) return false;
    } else if (error == EAGAIN || error == EWOULDBLOCK) {
      WaitFor(static_cast<int>(fd), POLLOUT, deadline);
    } else {
      PauseUntil(deadline);
    }
  }
  LogFailure(kWriteFailed, static_cast<unsigned int>(error));
  return false;
}

}  // namespace IPC

#endif  // __linux__
