// The raw probes on Linux: the host's request pipe is an abstract SOCK_SEQPACKET socket
// named by the pipe path, so one send is one message, whatever its length.
#ifdef __linux__

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

#include "check/RawPeer.h"
#include "transport/NamedPipe.h"

namespace Check {

namespace {

// How long a connection waits for the host's listen queue: while a host serves a plug-in it
// keeps the queue full, and a plug-in that has just left takes a moment to be noticed.
constexpr auto kBusyLimit = std::chrono::seconds(2);

// A blocking socket connected to the request pipe of pluginId, or -1 with errno set.
int ConnectRaw(const std::string& pluginId) {
  const std::string path = std::string(IPC::NamedPipe::kPipePrefix) + pluginId;
  sockaddr_un address{};
  if (path.size() + 1 > sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
  const auto deadline = std::chrono::steady_clock::now() + kBusyLimit;
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      // Blocking from here on; every wait goes through poll anyway.
      const int flags = fcntl(fd, F_GETFL);
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
      return fd;
    }
    const int error = errno;
    close(fd);
    if (error != EAGAIN || std::chrono::steady_clock::now() >= deadline) {
      errno = error;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Waits up to limitMs for a message: 1 when one came (into `message`), 0 when the peer
// hung up, -1 when the limit passed.
int ReceiveWithin(int fd, uint32_t limitMs, std::string& message) {
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, static_cast<int>(limitMs)) <= 0) return -1;
  message.assign(IPC::NamedPipe::kReadBufferSize, '\0');
  const ssize_t received = recv(fd, message.data(), message.size(), 0);
  if (received <= 0) {
    message.clear();
    return 0;
  }
  message.resize(static_cast<size_t>(received));
  return 1;
}

bool SendAll(int fd, const std::string& message) {
  return send(fd, message.data(), message.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(message.size());
}

bool BecomeNobody() {
  const passwd* nobody = getpwnam("nobody");
  const uid_t uid = nobody ? nobody->pw_uid : 65534;
  const gid_t gid = nobody ? nobody->pw_gid : 65534;
  return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0;
}

}  // namespace

ForeignPeerResult ConnectAsAnotherUser(const std::string& pluginId,
                                       const std::string& requestStream, uint32_t limitMs) {
  const pid_t child = fork();
  if (child < 0) return ForeignPeerResult::CannotSwitchUser;
  if (child == 0) {
    if (!BecomeNobody()) _exit(static_cast<int>(ForeignPeerResult::CannotSwitchUser));
    const int fd = ConnectRaw(pluginId);
    if (fd < 0) _exit(static_cast<int>(ForeignPeerResult::CannotConnect));
    std::string answer;
    if (!SendAll(fd, requestStream)) _exit(static_cast<int>(ForeignPeerResult::Refused));
    switch (ReceiveWithin(fd, limitMs, answer)) {
      case 1:
        _exit(static_cast<int>(ForeignPeerResult::Answered));
      case 0:
        _exit(static_cast<int>(ForeignPeerResult::Refused));
      default:
        _exit(static_cast<int>(ForeignPeerResult::NoVerdict));
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return ForeignPeerResult::CannotSwitchUser;
  return static_cast<ForeignPeerResult>(WEXITSTATUS(status));
}

bool SendOversizedThenRequest(const std::string& pluginId, const std::string& oversized,
                              const std::string& requestStream, uint32_t limitMs,
                              std::vector<std::string>& answerStreams, std::string& failure) {
  const int fd = ConnectRaw(pluginId);
  if (fd < 0) {
    failure = std::string("cannot connect: ") + std::strerror(errno);
    return false;
  }
  // A message this long needs a send buffer to match.
  const int size = static_cast<int>(oversized.size() * 2);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  if (!SendAll(fd, oversized)) {
    failure = std::string("the oversized message could not be sent: ") + std::strerror(errno);
  } else if (!SendAll(fd, requestStream)) {
    failure = "the host hung up after the oversized message";
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (answerStreams.size() < 2) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      std::string stream;
      const int got =
          ReceiveWithin(fd, left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0, stream);
      if (got != 1) {
        if (answerStreams.empty()) {
          failure = got == 0 ? "the host hung up instead of answering"
                             : "no answer within " + std::to_string(limitMs) + " ms";
        }
        break;
      }
      answerStreams.push_back(std::move(stream));
    }
  }
  close(fd);
  return !answerStreams.empty();
}

}  // namespace Check

#endif  // __linux__
