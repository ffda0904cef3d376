// Helpers for the channel tests: unique pipe names, raw sockets on a channel's address,
// reference compression, child processes and captured log lines.
#pragma once

#include <bzlib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>

#include "transport/NamedPipe.h"

namespace ChannelTestKit {

// Distinct across test processes running side by side and across tests in one process.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "hl_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

inline std::string PipePath(const std::string& name) { return IPC::NamedPipe::kPipePrefix + name; }

// The channel's address: a NUL and the path's bytes; `extra` adds bytes past them.
inline socklen_t AddressOf(const std::string& name, sockaddr_un& address, size_t extra = 0) {
  const std::string path = PipePath(name);
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size() + extra);
}

// A blocking socket connected to the channel's address, or -1.
inline int RawConnect(const std::string& name, size_t extra = 0) {
  sockaddr_un address;
  const socklen_t length = AddressOf(name, address, extra);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A blocking listening socket on the channel's address, or -1.
inline int RawListen(const std::string& name) {
  sockaddr_un address;
  const socklen_t length = AddressOf(name, address);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool RawSend(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// What the library's buffer-to-buffer call makes of `bytes` (no NUL added).
inline std::string ReferenceCompress(const std::string& bytes) {
  unsigned int length = static_cast<unsigned int>(bytes.size() * 1.01 + 600);
  std::string out(length, '\0');
  const int status = BZ2_bzBuffToBuffCompress(&out[0], &length, const_cast<char*>(bytes.data()),
                                              static_cast<unsigned int>(bytes.size()), 9, 0, 0);
  EXPECT_EQ(status, BZ_OK);
  out.resize(status == BZ_OK ? length : 0);
  return out;
}

// The stream a writer puts on the wire for `text`.
inline std::string WireBytes(const std::string& text) {
  return ReferenceCompress(std::string(text.data(), text.size() + 1));
}

// Runs `body` in a forked child, which exits with its result.
inline pid_t Fork(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

// The child's exit code, or 128 + the signal that ended it.
inline int Join(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// A one-way signal between processes: one byte through a pipe.
class Signal {
 public:
  Signal() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Signal() {
    close(fds_[0]);
    close(fds_[1]);
  }
  void Raise() { (void)!write(fds_[1], "x", 1); }
  // True when raised; false when every writer is gone.
  bool Await() {
    char byte;
    return read(fds_[0], &byte, 1) == 1;
  }

 private:
  int fds_[2];
};

inline long long MillisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// One channel log line in its fixed form.
inline std::string Line(const std::string& text, const std::string& name, int mode) {
  return "IPC | Error | " + text + " (PluginId:" + name + ") (Mode:" + std::to_string(mode) + ")\n";
}
inline std::string Line(const std::string& text, const std::string& name, int mode,
                        unsigned int code) {
  return "IPC | Error | " + text + " (PluginId:" + name + ") (Mode:" + std::to_string(mode) +
         ") (Error:" + std::to_string(code) + ")\n";
}

// A connected server (mode 1) and client (mode 3) in this process.
struct Pair {
  explicit Pair(const std::string& tag)
      : name(UniqueName(tag)), server(name, IPC::ServerRequest), client(name, IPC::ClientRequest) {
    opened = server.Open(300) && client.Open(300);
  }
  std::string name;
  IPC::NamedPipe server;
  IPC::NamedPipe client;
  bool opened = false;
};

}  // namespace ChannelTestKit
