// Helpers for the channel tests on both platforms: unique pipe names, the log lines, the
// system's error codes for each kind of failure, reference compression and a pipe name
// taken the way another process would take it. On Linux also raw sockets on a channel's
// address, child processes and a signal between them; on Windows, whether Wine runs us.
#pragma once

#include <bzlib.h>
#include <gtest/gtest.h>

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
#else
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#endif

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>

#include "transport/NamedPipe.h"

namespace ChannelTestKit {

// The system's code in a channel's log line for each kind of failure.
#ifdef _WIN32
// A client finds no pipe of the name.
constexpr unsigned int kNoServer = ERROR_FILE_NOT_FOUND;
// A client finds the server serving another client.
constexpr unsigned int kBusy = ERROR_PIPE_BUSY;
// A server writes while no client has come.
constexpr unsigned int kNoClient = ERROR_PIPE_LISTENING;
// A server finds its name already taken.
constexpr unsigned int kNameTaken = ERROR_ACCESS_DENIED;
#else
constexpr unsigned int kNoServer = ECONNREFUSED;
constexpr unsigned int kBusy = EAGAIN;
constexpr unsigned int kNoClient = ENOTCONN;
constexpr unsigned int kNameTaken = EADDRINUSE;
#endif

inline unsigned long CurrentProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

// Distinct across test processes running side by side and across tests in one process.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "hl_" + tag + "_" + std::to_string(CurrentProcessId()) + "_" +
         std::to_string(counter++);
}

inline std::string PipePath(const std::string& name) { return IPC::NamedPipe::kPipePrefix + name; }

// Takes the name for a moment, as another process racing for it would, and lets it go;
// false when the name could not be taken.
inline bool TakeNameBriefly(const std::string& name);

#ifdef _WIN32

inline bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A pipe made directly with kernel32, as another process would make it: one instance,
// blocking, default security.
inline HANDLE RawServer(const std::string& name) {
  return CreateNamedPipeA(PipePath(name).c_str(), PIPE_ACCESS_DUPLEX,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 102400,
                          102400, 0, nullptr);
}

inline bool TakeNameBriefly(const std::string& name) {
  const HANDLE pipe = RawServer(name);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(pipe);
  return true;
}

#else

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

inline bool TakeNameBriefly(const std::string& name) {
  const int fd = RawListen(name);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The inode of the socket listening under the channel's name, from the kernel's table of
// Unix sockets (an abstract name shows as "@" and the path); 0 when none listens.
inline unsigned long ListeningSocketInode(const std::string& name) {
  std::ifstream table("/proc/net/unix");
  std::string line;
  std::getline(table, line);  // the heading
  const std::string path = "@" + PipePath(name);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, refs, protocol, flags, type, state, shown;
    unsigned long inode = 0;
    fields >> slot >> refs >> protocol >> flags >> type >> state >> inode >> shown;
    // __SO_ACCEPTCON marks a listening socket; its accepted connections share its path.
    if (shown == path && flags == "00010000") return inode;
  }
  return 0;
}

inline bool RawSend(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
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
  // True when raised; false when every writer is gone or, given a limit in milliseconds,
  // once it has passed (a child that never starts cannot hang its parent).
  bool Await(int limitMs = -1) {
    pollfd readable{fds_[0], POLLIN, 0};
    char byte;
    return poll(&readable, 1, limitMs) == 1 && read(fds_[0], &byte, 1) == 1;
  }

 private:
  int fds_[2];
};

#endif  // _WIN32

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
