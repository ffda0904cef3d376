// Raw bytes received by a real channel: each input is sent as one socket message, by a
// bare socket standing in for the other process, to both ends a channel can be (the host's
// server end and the plug-in's client end), and each end's Read must give exactly what
// decompressing those bytes gives, at once.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"

namespace {

using IPC::NamedPipe;

// A message that is already there is read at once, whether it decompresses or not: a Read
// that waits most of this limit has lost it.
constexpr uint32_t kReadLimitMs = 5000;
constexpr auto kSlowRead = std::chrono::milliseconds(4000);

socklen_t AddressOf(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
}

int NewSocket() {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  FUZZ_CHECK(fd >= 0);
  const int size = 4 << 20;  // the kernel caps it; larger messages are skipped
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  return fd;
}

// A channel end and the bare socket connected to it.
struct Connection {
  NamedPipe* pipe;
  int peer;
};

// The host's end: the channel listens, the bare socket connects as the plug-in would.
Connection ServerEnd(const std::string& name) {
  auto* pipe = new NamedPipe(name, IPC::ServerRequest);
  FUZZ_CHECK(pipe->Open(300));
  const int peer = NewSocket();
  sockaddr_un address;
  const socklen_t length = AddressOf(pipe->GetPipePath(), address);
  FUZZ_CHECK(connect(peer, reinterpret_cast<sockaddr*>(&address), length) == 0);
  return {pipe, peer};
}

// The plug-in's end: the bare socket listens as the host would, the channel connects.
Connection ClientEnd(const std::string& name) {
  auto* pipe = new NamedPipe(name, IPC::ClientRequest);
  const int listener = NewSocket();
  sockaddr_un address;
  const socklen_t length = AddressOf(pipe->GetPipePath(), address);
  FUZZ_CHECK(bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
  FUZZ_CHECK(listen(listener, 1) == 0);
  FUZZ_CHECK(pipe->Open(300));
  const int peer = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  FUZZ_CHECK(peer >= 0);
  close(listener);
  const int size = 4 << 20;
  setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  return {pipe, peer};
}

// Made once and kept for the run, as a plug-in keeps its channels.
const Connection* Ends() {
  static const std::string name = "hostlink-fuzz-" + std::to_string(getpid());
  static const Connection ends[] = {ServerEnd(name), ClientEnd(name + "_client")};
  return ends;
}

// Sends the bytes as one message; false when the socket cannot take a message that long.
bool SendRaw(int fd, const uint8_t* data, size_t size) {
  const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
  if (sent < 0 && errno == EMSGSIZE) return false;
  FUZZ_CHECK(sent == static_cast<ssize_t>(size));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Connection* ends = Ends();

  // What the message must read as: the codec's answer, unless it is too long to take.
  static IPC::Bzip2Codec codec;
  std::string expected;
  int status = 0;
  const bool fits = size <= NamedPipe::kReadBufferSize;
  const bool decodes =
      fits && codec.Decompress(reinterpret_cast<const char*>(data), size, expected, status);

  for (int end = 0; end < 2; ++end) {
    if (!SendRaw(ends[end].peer, data, size)) return 0;
    std::string message = "left over";
    const auto start = std::chrono::steady_clock::now();
    const bool read = ends[end].pipe->Read(message, kReadLimitMs);
    FUZZ_CHECK(std::chrono::steady_clock::now() - start < kSlowRead);
    FUZZ_CHECK(read == decodes);
    FUZZ_CHECK(message == (decodes ? expected : std::string()));
  }
  return 0;
}
