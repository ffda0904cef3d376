// Round trip of a ~150-byte request and its answer between two processes: first the floor
// (a bare SEQPACKET socket pair doing the same bzip2 work and nothing else, waiting with
// poll), then the same exchange through two NamedPipe channels. Prints the medians in
// microseconds and their ratio.
//
//   hostlink_wire_floor [round trips, default 20000]
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "transport/Bzip2Codec.h"
#include "transport/NamedPipe.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kRequest =
    R"({"request":{"requestId":1733600000123,"name":"GetLayerByName","args":{"0":"Background copy","1":42,"2":true,"3":3.5,"4":"visible"},"proxyId":1024}})";
const std::string kAnswer =
    R"({"response":{"requestId":1733600000123,"status":true,"result":{"proxy":{"proxyId":2048,"name":"Layer","functions":["GetName","SetName","GetOpacity","SetOpacity"]}}}})";

constexpr int kWarmUp = 500;
constexpr size_t kBufferSize = 102400;

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Sends one compressed text; takes one message, waiting with poll, and decompresses it.
struct FloorEnd {
  explicit FloorEnd(int socket) : fd(socket) {}
  int fd;
  IPC::Bzip2Codec codec;
  std::string stream;
  std::unique_ptr<char[]> buffer{new char[kBufferSize]};

  bool Send(const std::string& text) {
    return codec.Compress(text, stream) == 0 &&
           send(fd, stream.data(), stream.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(stream.size());
  }
  bool Receive(std::string& text) {
    for (;;) {
      const ssize_t length = recv(fd, buffer.get(), kBufferSize, MSG_DONTWAIT);
      if (length > 0) {
        int status = 0;
        return codec.Decompress(buffer.get(), static_cast<size_t>(length), text, status);
      }
      if (length == 0 || errno != EAGAIN) return false;
      pollfd entry{fd, POLLIN, 0};
      poll(&entry, 1, -1);
    }
  }
};

double FloorMedian(int roundTrips) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    FloorEnd server(fds[1]);
    std::string request;
    while (server.Receive(request)) {
      if (!server.Send(kAnswer)) break;
    }
    _exit(0);
  }
  close(fds[1]);
  FloorEnd client(fds[0]);
  std::string answer;
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(roundTrips));
  for (int turn = -kWarmUp; turn < roundTrips; ++turn) {
    const auto start = Clock::now();
    if (!client.Send(kRequest) || !client.Receive(answer)) return -1;
    if (turn >= 0) samples.push_back(MicrosSince(start));
  }
  close(fds[0]);
  waitpid(child, nullptr, 0);
  return Median(samples);
}

double ChannelMedian(int roundTrips) {
  const std::string name = "hl_wire_floor_" + std::to_string(getpid());
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    IPC::NamedPipe server(name, IPC::ServerRequest);
    if (!server.Open(300)) _exit(1);
    (void)!write(ready[1], "r", 1);
    std::string request;
    for (int turn = -kWarmUp; turn < roundTrips; ++turn) {
      if (!server.Read(request, 10000) || !server.Write(kAnswer, 300)) _exit(2);
    }
    _exit(0);
  }
  char byte;
  if (read(ready[0], &byte, 1) != 1) return -1;
  IPC::NamedPipe client(name, IPC::ClientRequest);
  if (!client.Open(300)) return -1;
  std::string answer;
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(roundTrips));
  for (int turn = -kWarmUp; turn < roundTrips; ++turn) {
    const auto start = Clock::now();
    if (!client.Write(kRequest, 300) || !client.Read(answer, 10000)) return -1;
    if (turn >= 0) samples.push_back(MicrosSince(start));
  }
  waitpid(child, nullptr, 0);
  return Median(samples);
}

}  // namespace

int main(int argc, char** argv) {
  const int roundTrips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
  const double floor = FloorMedian(roundTrips);
  const double channel = ChannelMedian(roundTrips);
  if (floor <= 0 || channel <= 0) {
    std::fprintf(stderr, "round trip failed\n");
    return 1;
  }
  std::printf("request %zu bytes, answer %zu bytes, %d round trips each\n", kRequest.size(),
              kAnswer.size(), roundTrips);
  std::printf("floor   (SEQPACKET + bzip2): median %.1f us\n", floor);
  std::printf("channel (NamedPipe 3 <-> 1): median %.1f us\n", channel);
  std::printf("ratio channel / floor: %.3f\n", channel / floor);
  return 0;
}
