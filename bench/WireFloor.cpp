// Round trip of a ~150-byte request and its answer between two processes: first the floor
// (a bare SEQPACKET socket pair doing the same bzip2 work and nothing else, waiting with
// poll), then the same exchange through two NamedPipe channels. Prints the medians in
// microseconds and their ratio.
//
//   hostlink_wire_floor [round trips, default 20000]
//
// With options, measures the floor alone for the texts given and prints one JSON object
// {"median_us":..,"p99_us":..,"calls_per_s":..}; the benchmark suite uses this form:
//
//   hostlink_wire_floor --request FILE --answer FILE [--calls N] [--warmup N]
//                       [--client-cpu C] [--server-cpu S] [--sleep-poll-ms MS]
//                       [--fire-after-ms MS] [--samples 1]
//
// --client-cpu and --server-cpu pin each end to one CPU; --sleep-poll-ms replaces the
// wait in poll() by sleeps between non-blocking reads (the polling design's cost);
// --fire-after-ms makes the exchange one way, as a callback is: the server sleeps that long,
// takes the time and sends the answer text; the client, asleep in poll, receives and
// decompresses it, and a sample is the time from the server's clock reading to then;
// --samples 1 adds every round trip's time ("samples_us") and the wall time ("seconds"),
// for the suite to pool the rounds it measures in.
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
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

// Sends one compressed text; takes one message, waiting with poll (or, with a sleep
// period, sleeping between non-blocking attempts), and decompresses it.
struct FloorEnd {
  explicit FloorEnd(int socket, int sleepMs = 0) : fd(socket), sleepPollMs(sleepMs) {}
  int fd;
  int sleepPollMs;
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
      if (sleepPollMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepPollMs));
        continue;
      }
      pollfd entry{fd, POLLIN, 0};
      poll(&entry, 1, -1);
    }
  }
};

// Pins the calling process to one CPU; a negative number leaves it where it is.
void PinTo(int cpu) {
  if (cpu < 0) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

struct FloorRun {
  std::string request = kRequest;
  std::string answer = kAnswer;
  int calls = 20000;
  int warmUp = kWarmUp;
  int clientCpu = -1;
  int serverCpu = -1;
  int sleepPollMs = 0;
  int fireAfterMs = 0;
  bool printSamples = false;
};

struct FloorFigures {
  std::vector<double> samples;  // microseconds per round trip
  double seconds = 0;           // wall time of the measured round trips; one way, their sum
};

// The exchange itself: the server answers every request with the answer text.
bool MeasureRoundTrips(const FloorRun& run, FloorFigures& figures) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(fds[0]);
    PinTo(run.serverCpu);
    FloorEnd server(fds[1], run.sleepPollMs);
    std::string request;
    while (server.Receive(request)) {
      if (!server.Send(run.answer)) break;
    }
    _exit(0);
  }
  close(fds[1]);
  PinTo(run.clientCpu);
  FloorEnd client(fds[0], run.sleepPollMs);
  std::string answer;
  bool ok = true;
  Clock::time_point begin;
  for (int turn = -run.warmUp; ok && turn < run.calls; ++turn) {
    if (turn == 0) begin = Clock::now();
    const auto start = Clock::now();
    ok = client.Send(run.request) && client.Receive(answer);
    if (turn >= 0) figures.samples.push_back(MicrosSince(start));
  }
  figures.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  close(fds[0]);
  waitpid(child, nullptr, 0);
  return ok;
}

// One way, as a callback: the server's fire times reach the client through shared memory,
// so that the wire carries the answer text alone.
bool MeasureOneWay(const FloorRun& run, FloorFigures& figures) {
  const size_t turns = static_cast<size_t>(run.warmUp) + static_cast<size_t>(run.calls);
  const size_t bytes = turns * sizeof(Clock::time_point);
  void* shared = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return false;
  auto* firedAt = static_cast<Clock::time_point*>(shared);
  int fds[2];
  const pid_t child = socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) == 0 ? fork() : -1;
  if (child < 0) {
    munmap(shared, bytes);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    PinTo(run.serverCpu);
    FloorEnd server(fds[1]);
    for (size_t turn = 0; turn < turns; ++turn) {
      std::this_thread::sleep_for(std::chrono::milliseconds(run.fireAfterMs));
      firedAt[turn] = Clock::now();
      if (!server.Send(run.answer)) break;
    }
    _exit(0);
  }
  close(fds[1]);
  PinTo(run.clientCpu);
  FloorEnd client(fds[0]);
  std::string answer;
  bool ok = true;
  for (size_t turn = 0; ok && turn < turns; ++turn) {
    ok = client.Receive(answer);
    const double micros =
        std::chrono::duration<double, std::micro>(Clock::now() - firedAt[turn]).count();
    if (ok && turn >= static_cast<size_t>(run.warmUp)) {
      figures.samples.push_back(micros);
      figures.seconds += micros / 1e6;
    }
  }
  close(fds[0]);
  waitpid(child, nullptr, 0);
  munmap(shared, bytes);
  return ok;
}

bool MeasureFloor(const FloorRun& run, FloorFigures& figures) {
  figures.samples.clear();
  figures.samples.reserve(static_cast<size_t>(run.calls));
  figures.seconds = 0;
  const bool ok =
      run.fireAfterMs > 0 ? MeasureOneWay(run, figures) : MeasureRoundTrips(run, figures);
  return ok && !figures.samples.empty();
}

double FloorMedian(int roundTrips) {
  FloorRun run;
  run.calls = roundTrips;
  FloorFigures figures;
  return MeasureFloor(run, figures) ? Median(figures.samples) : -1;
}

bool ReadWholeFile(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The suite's form: one floor for the given texts and placement, as one JSON object.
int RunWithOptions(int argc, char** argv) {
  FloorRun run;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[++i] : "";
    bool ok = *value != '\0';
    if (!ok) {
      // every option takes a value
    } else if (option == "--request") {
      ok = ReadWholeFile(value, run.request);
    } else if (option == "--answer") {
      ok = ReadWholeFile(value, run.answer);
    } else if (option == "--calls") {
      run.calls = std::max(1, std::atoi(value));
    } else if (option == "--warmup") {
      run.warmUp = std::max(0, std::atoi(value));
    } else if (option == "--client-cpu") {
      run.clientCpu = std::atoi(value);
    } else if (option == "--server-cpu") {
      run.serverCpu = std::atoi(value);
    } else if (option == "--sleep-poll-ms") {
      run.sleepPollMs = std::max(0, std::atoi(value));
    } else if (option == "--fire-after-ms") {
      run.fireAfterMs = std::max(0, std::atoi(value));
    } else if (option == "--samples") {
      run.printSamples = std::strcmp(value, "0") != 0;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "hostlink_wire_floor: bad option %s\n", option.c_str());
      return 2;
    }
  }
  FloorFigures figures;
  if (!MeasureFloor(run, figures)) {
    std::fprintf(stderr, "hostlink_wire_floor: round trip failed\n");
    return 1;
  }
  std::vector<double> sorted = figures.samples;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  std::printf("{\"median_us\":%.2f,\"p99_us\":%.2f,\"calls_per_s\":%.0f", median, p99,
              static_cast<double>(run.calls) / figures.seconds);
  if (run.printSamples) {
    std::printf(",\"seconds\":%.6f,\"samples_us\":[", figures.seconds);
    for (size_t i = 0; i < figures.samples.size(); ++i) {
      std::printf(i == 0 ? "%.2f" : ",%.2f", figures.samples[i]);
    }
    std::printf("]");
  }
  std::printf("}\n");
  return 0;
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
  if (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) return RunWithOptions(argc, argv);
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
