// The Linux backend of the named-pipe channel: an AF_UNIX SOCK_SEQPACKET socket in the abstract
// namespace, named by the pipe path, so that one socket message is one whole channel message.
#ifdef __linux__

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstring>

#include "transport/NamedPipe.h"

#include "base/CpuBandwidth.h"

namespace IPC {

namespace {

using Clock = std::chrono::steady_clock;

// One client may wait to be accepted, none beyond it; while a client is served, the
// server's own queue holder takes that place (see queueHolder_).
constexpr int kListenBacklog = 0;
// Clients that slip into the queue between an accept and the holder's connect are turned
// away; past this many the holder gives up until the next client.
constexpr int kHolderAttempts = 4;
// How long before a deadline a receive stops sleeping and leaves the rest to poll: more
// than the kernel's lateness on a receive limit, two ticks at 100 Hz.
constexpr int64_t kCoarseTimerMarginMs = 25;

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

// Whether spinning for the peer's next message can pay: only when the peer can run on a CPU
// other than the one this thread spins on. A spin that cannot pay only keeps the peer off
// the CPU it needs. How long a spin lasts, and whether it has lately paid, the pipe's
// AdaptiveSpin learns: waking a thread that sleeps costs tens of microseconds, more when its
// CPU has gone idle, and in a run of calls on an idle machine the next message comes sooner.
bool SpinCanPay(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  cpu_set_t own;
  cpu_set_t server;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
      sched_getaffinity(0, sizeof own, &own) != 0 ||
      sched_getaffinity(peer.pid, sizeof server, &server) != 0) {
    return true;  // unknown: let the spin learn
  }
  cpu_set_t either;
  CPU_OR(&either, &own, &server);
  return CPU_COUNT(&either) > 1;
}

// At a new connection, also: a control group's CPU quota of less than two CPUs (a
// container's "--cpus=1") is spent twice as fast while one side spins as the other works,
// and the whole group then stands still for the rest of each period.
bool SpinCanPayOnConnection(int fd) {
  const double quota = CpuBandwidthLimit();
  return (quota == 0 || quota >= 2) && SpinCanPay(fd);
}

// Gives a connection the channel's buffer size; the kernel doubles it for its bookkeeping,
// so the largest message always fits.
void SizeBuffer(int fd) {
  const int size = static_cast<int>(NamedPipe::kPipeBufferSize);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

// Clears O_NONBLOCK where it is set; the channel's own non-blocking calls say so each time.
void MakeBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) != 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
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

void CloseHandle(NamedPipe::NativeHandle& handle) {
  if (handle == NamedPipe::kInvalidHandle) return;
  close(static_cast<int>(handle));
  handle = NamedPipe::kInvalidHandle;
}

// Why a client could not connect, as the channel reports it.
ChannelError OpenError(int error) {
  if (error == EAGAIN || error == EWOULDBLOCK) return ChannelError::Busy;  // queue taken
  if (error == EACCES) return ChannelError::Access;
  return ChannelError::Timeout;  // nothing listened under the name within the limit
}

// A connection of this process to the listening socket `listener`, or -1 with errno set.
int ConnectToSelf(int listener) {
  sockaddr_un address;
  socklen_t length = sizeof address;
  if (getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  const int fd = NewSocket();
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

bool NamedPipe::OpenServer() {
  sockaddr_un address;
  socklen_t length = 0;
  if (!MakeAddress(pipePath_, address, length)) {
    LogCreateFailed(ENAMETOOLONG);
    SetChannelError(ChannelError::Other);
    return false;
  }
  const int fd = NewSocket();
  if (fd < 0) {
    LogCreateFailed(static_cast<unsigned int>(errno));
    SetChannelError(ChannelError::Other);
    return false;
  }
  // A name bound by another process fails here with EADDRINUSE.
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      listen(fd, kListenBacklog) != 0) {
    const int error = errno;
    close(fd);
    LogCreateFailed(static_cast<unsigned int>(error));
    SetChannelError(error == EADDRINUSE ? ChannelError::Access : ChannelError::Other);
    return false;
  }
  handle_ = fd;
  return true;
}

bool NamedPipe::OpenClient(uint32_t timeoutMs) {
  sockaddr_un address;
  socklen_t length = 0;
  if (!MakeAddress(pipePath_, address, length)) {
    LogClientOpenFailed(ENAMETOOLONG);
    SetChannelError(ChannelError::Other);
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
      // A request client has one reader at a time, whichever call holds the turn: it sleeps
      // in the receive itself, as a request server does.
      blockInReceive_ = GetMode() == ClientRequest;
      receiveLimitMs_ = 0;
      if (blockInReceive_) MakeBlocking(fd);
      handle_ = fd;
      static std::atomic<uint64_t> connectionsMade{0};
      connection_ = ++connectionsMade;
      spinForMessages_ = GetMode() == ClientRequest;
      CheckPlacement(fd, true);
      return true;
    }
    if (Clock::now() >= deadline) break;
    PauseUntil(deadline);
  }
  LogClientOpenFailed(static_cast<unsigned int>(error));
  SetChannelError(OpenError(error));
  return false;
}

namespace {

// Closes a server's client and lets the one place of its queue go with the holder.
void LetClientGo(NamedPipe::NativeHandle listener, NamedPipe::NativeHandle& client,
                 NamedPipe::NativeHandle& holder) {
  CloseHandle(client);
  if (holder == NamedPipe::kInvalidHandle) return;
  // The holder's waiting connection is the only one queued: take it off the queue, so
  // that the next client finds the place free.
  const int queued = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (queued >= 0) close(queued);
  CloseHandle(holder);
}

}  // namespace

void NamedPipe::Close() {
  LetClientGo(handle_, client_, queueHolder_);
  if (duplicated_ && handle_ != kInvalidHandle) {
    // A duplicate an event loop still watches must not keep the connection up.
    shutdown(static_cast<int>(handle_), SHUT_RDWR);
  }
  duplicated_ = false;
  CloseHandle(handle_);
}

NamedPipe::NativeHandle NamedPipe::DuplicateConnection() {
  if (IsServer() || handle_ == kInvalidHandle) return kInvalidHandle;
  const int duplicate = fcntl(static_cast<int>(handle_), F_DUPFD_CLOEXEC, 0);
  if (duplicate < 0) return kInvalidHandle;
  duplicated_ = true;
  return duplicate;
}

void NamedPipe::CheckPlacement(int fd, bool newConnection) {
  placementCheckedAt_ = Clock::now();
  const bool elsewhere = SpinCanPayOnConnection(fd);
  if (newConnection || elsewhere != peerElsewhere_.load(std::memory_order_relaxed)) {
    peerElsewhere_.store(elsewhere, std::memory_order_relaxed);
    spin_.Allow(elsewhere);
  }
}

bool NamedPipe::SpinCanPayOn(NativeHandle connection) {
  return SpinCanPay(static_cast<int>(connection));
}

void NamedPipe::CloseDuplicate(NativeHandle duplicate) {
  if (duplicate >= 0) close(static_cast<int>(duplicate));
}

void NamedPipe::DropClient() {
  if (client_ != kInvalidHandle) ++clientsLetGo_;
  LetClientGo(handle_, client_, queueHolder_);
  if (!IsServer() || handle_ == kInvalidHandle) return;
  // A client that connected and left before it was ever accepted (a callback client that
  // closed before anything was sent to it) keeps the one place of the queue, and would
  // keep every later client out as busy: take what waits, and let it go if it is gone.
  int error = 0;
  if (Connection(error) != kInvalidHandle && PeerClosed(static_cast<int>(client_))) {
    ++clientsLetGo_;
    LetClientGo(handle_, client_, queueHolder_);
  }
}

void NamedPipe::HoldQueue() {
  const int listener = static_cast<int>(handle_);
  for (int attempt = 0; attempt < kHolderAttempts; ++attempt) {
    const int fd = ConnectToSelf(listener);
    if (fd >= 0) {
      queueHolder_ = fd;
      return;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) return;
    // Another client came between the accept and now: turn it away, then hold the place.
    const int waiting = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (waiting >= 0) close(waiting);
  }
}

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
    // A server's request connection is read by its one serving thread, which sleeps in the
    // receive itself: one call where a wait in poll takes three, and a wake-up that hands
    // the message straight over.
    const bool blocking = GetMode() == ServerRequest;
    const int fd = accept4(static_cast<int>(handle_), nullptr, nullptr,
                           SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK));
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
    blockInReceive_ = blocking;
    receiveLimitMs_ = 0;
    spinForMessages_ = GetMode() == ServerRequest;
    CheckPlacement(fd, true);
    HoldQueue();
  }
  return client_;
}

bool NamedPipe::ReceiveMessage(uint32_t timeoutMs, size_t& length) {
  const auto deadline = DeadlineAfter(timeoutMs);
  // Until when this read asks again before it sleeps; set when it first finds nothing.
  Clock::time_point spinEnd{};
  bool spinning = false;
  // Whether the next receive sleeps in the kernel until a message comes or its limit passes.
  bool block = false;
  bool firstTake = true;
  for (;;) {
    int error = 0;
    const NativeHandle fd = Connection(error);
    if (fd != kInvalidHandle) {
      // Once a second, a read looks again at where both ends may run.
      if (firstTake && spinForMessages_ &&
          Clock::now() - placementCheckedAt_ >= kPlacementCheckEvery) {
        CheckPlacement(static_cast<int>(fd), false);
      }
      // Where this wait will not spin, its first receive already sleeps: a message that
      // waits is taken by it just as at once, and one that does not costs no second call.
      // A spin backing off counts this wait down as one that blocked.
      if (firstTake && blockInReceive_) {
        const bool spins = spinForMessages_ && peerElsewhere_;
        if (!spins || spin_.BlocksNext()) {
          if (spins) {
            spin_.NextWatched();
            spinEnd = Clock::now();
          }
          block = LimitReceive(static_cast<int>(fd), deadline);
        }
      }
      firstTake = false;
      const Taken taken = TakeWaiting(static_cast<int>(fd), length, error, block);
      if (taken == Taken::TooLarge) return false;
      if (taken == Taken::Message) {
        if (spinning) spin_.Caught();
        return true;
      }
    }
    const bool slept = block;
    block = false;
    if (error == EINTR || error == ECONNABORTED) continue;
    if (PeerGone(error) && GetMode() == ClientRequest) {
      // The host hung up, and with it went any answer to what was sent: waiting on a new
      // connection would wait for nothing. The next write connects anew.
      Close();
      SetChannelError(ChannelError::Closed);
      return false;
    }
    // Reconnecting, waiting and pausing all happen only before the deadline; every one of
    // them is followed by another attempt.
    if (Clock::now() >= deadline) {
      SetChannelError(ChannelError::Timeout);
      return false;
    }
    if (PeerGone(error)) {
      std::lock_guard<std::mutex> hold(takeLock_);
      if (!Reconnect()) return false;
    } else if (error == EAGAIN || error == EWOULDBLOCK) {
      if (spinForMessages_ && fd != kInvalidHandle) {
        const auto now = Clock::now();
        if (spinEnd == Clock::time_point{}) {
          spinEnd = std::min(now + spin_.NextWatched(), deadline);
          spinning = now < spinEnd;
        }
        if (now < spinEnd) {
          AdaptiveSpin::Pause();
          continue;
        }
        if (spinning) {
          spin_.TimedOut([fd] { return SpinCanPay(static_cast<int>(fd)); });
          spinning = false;
        }
      }
      if (blockInReceive_ && fd != kInvalidHandle) {
        // A receive meant to sleep that came back empty before its limit: an event loop
        // watching a duplicate made the shared socket non-blocking (libuv does, when it
        // starts to poll it).
        if (slept) MakeBlocking(static_cast<int>(fd));
        if (LimitReceive(static_cast<int>(fd), deadline)) {
          block = true;
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

NamedPipe::Taken NamedPipe::TakeWaiting(int fd, size_t& length, int& error, bool block) {
  ssize_t received = 0;
  int receiveError = 0;
  {
    // A receive that sleeps cannot hold the lock; it is used only where it is the one reader.
    std::unique_lock<std::mutex> hold(takeLock_, std::defer_lock);
    if (!block) hold.lock();
    // MSG_TRUNC makes the receive report a message's full length even when it is cut.
    received = recv(fd, readBuffer_.get(), kReadBufferSize, (block ? 0 : MSG_DONTWAIT) | MSG_TRUNC);
    receiveError = errno;
    if (received > 0) {
      if (block) hold.lock();
      ++taken_;
    }
  }
  if (received > static_cast<ssize_t>(kReadBufferSize)) {
    LogOversizedMessage(EMSGSIZE);  // the rest of the message is already discarded
    SetChannelError(ChannelError::TooLarge);
    return Taken::TooLarge;
  }
  if (received > 0 || (received == 0 && !PeerClosed(fd))) {
    length = static_cast<size_t>(received);
    return Taken::Message;
  }
  error = received == 0 ? ECONNRESET : receiveError;
  return Taken::Nothing;
}

bool NamedPipe::LimitReceive(int fd, Clock::time_point deadline) {
  // The kernel ends a receive's sleep on its coarse timer, up to a few ticks late and later
  // still for long limits; poll's timer is precise. So a receive sleeps until shortly
  // before the deadline, and poll waits out the rest.
  const int64_t left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  const int64_t margin = std::max<int64_t>(kCoarseTimerMarginMs, left / 8);
  const int64_t longest = left - margin;
  if (longest <= 0) return false;
  // The limit last set serves while it ends within the margin before the longest; a read
  // with the same limit as the last then sets nothing.
  if (receiveLimitMs_ > 0 && receiveLimitMs_ <= longest && receiveLimitMs_ >= longest - margin) {
    return true;
  }
  const timeval limit{static_cast<time_t>(longest / 1000),
                      static_cast<suseconds_t>(longest % 1000 * 1000)};
  if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return false;
  receiveLimitMs_ = longest;
  return true;
}

bool NamedPipe::ReceiveWaiting(size_t& length) {
  const NativeHandle fd = IsServer() ? client_ : handle_;
  if (fd == kInvalidHandle) {
    SetChannelError(ChannelError::Closed);
    return false;
  }
  for (;;) {
    int error = 0;
    const Taken taken = TakeWaiting(static_cast<int>(fd), length, error);
    if (taken != Taken::Nothing) return taken == Taken::Message;
    if (error == EINTR) continue;
    // Whoever reads next with a limit reconnects when the peer went away.
    SetChannelError(error == EAGAIN || error == EWOULDBLOCK ? ChannelError::Timeout
                    : PeerGone(error)                        ? ChannelError::Closed
                                                             : ChannelError::Other);
    return false;
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

uint64_t NamedPipe::TakenMessages(bool& waiting) {
  std::lock_guard<std::mutex> hold(takeLock_);
  const NativeHandle fd = IsServer() ? client_ : handle_;
  pollfd entry{static_cast<int>(fd), POLLIN, 0};
  waiting = fd != kInvalidHandle && poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
  return taken_;
}

bool NamedPipe::WriteNow(const std::string& message) {
  const NativeHandle fd = IsServer() ? client_ : handle_;
  if (fd == kInvalidHandle || message.empty()) return false;
  // Whatever Write would refuse, and log, is left to Write.
  if (codec_.Compress(message, writeBuffer_) != 0 || writeBuffer_.empty() ||
      writeBuffer_.size() > kMaxMessageSize ||
      message.size() + 1 > Bzip2Codec::DecompressCapacity(writeBuffer_.size())) {
    return false;
  }
  // One message goes whole or not at all; a peer that is gone or full is Write's to handle.
  const ssize_t sent = send(static_cast<int>(fd), writeBuffer_.data(), writeBuffer_.size(),
                            MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent != static_cast<ssize_t>(writeBuffer_.size())) return false;
  SetWriteSizes(writeBuffer_.size(), message.size());
  SetChannelError(ChannelError::None);
  return true;
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
      if (!Reconnect()) {
        if (LastError() == ChannelError::None) SetChannelError(ChannelError::Closed);
        return false;
      }
    } else if (error == EAGAIN || error == EWOULDBLOCK) {
      WaitFor(static_cast<int>(fd), POLLOUT, deadline);
    } else {
      PauseUntil(deadline);
    }
  }
  LogWriteFailed(static_cast<unsigned int>(error));
  SetChannelError(ChannelError::Timeout);
  return false;
}

}  // namespace IPC

#endif  // __linux__
