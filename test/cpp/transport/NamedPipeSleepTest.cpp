// Linux request connections: a read sleeps in the receive itself, under a limit the socket
// keeps between reads, and not in poll. What that must not change: each read's own limit,
// serving the next client as soon as one leaves, and sleeping rather than spinning when an
// event loop's watch has made the shared socket non-blocking, or when both ends have come
// to share one CPU.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <chrono>
#include <string>
#include <thread>

#include "ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;

long long ThreadCpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

TEST(NamedPipeSleep, ServerReadKeepsItsOwnLimitAndServesTheNextClientAtOnce) {
  Pair pair("sleeping");
  ASSERT_TRUE(pair.opened);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pair.client.Write("first", 300);
  });
  std::string message;
  EXPECT_TRUE(pair.server.Read(message, 5000));
  writer.join();
  EXPECT_EQ(message, "first");

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pair.server.Read(message, 50));
  EXPECT_LT(MillisSince(start), 2000) << "the 5 s limit of the read before";

  NamedPipe next(pair.name, IPC::ClientRequest);
  std::thread successor([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pair.client.Close();
    if (next.Open(1000)) next.Write("next", 300);
  });
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(pair.server.Read(message, 10000));
  successor.join();
  EXPECT_LT(MillisSince(start), 3000) << "slept on the departed client's connection";
  EXPECT_EQ(message, "next");
  EXPECT_EQ(pair.server.ClientsLetGo(), 1u);
}

// libuv makes a socket it starts to poll non-blocking, and the loop polls a duplicate of
// the client's connection, which shares its flags.
TEST(NamedPipeSleep, ClientReadSleepsEvenAfterAWatcherMadeItsSocketNonBlocking) {
  Pair pair("watched");
  ASSERT_TRUE(pair.opened);
  const auto duplicate = static_cast<int>(pair.client.DuplicateConnection());
  ASSERT_GE(duplicate, 0);
  ASSERT_EQ(fcntl(duplicate, F_SETFL, fcntl(duplicate, F_GETFL) | O_NONBLOCK), 0);

  std::string message;
  const long long cpuBefore = ThreadCpuMillis();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pair.client.Read(message, 300));
  EXPECT_GE(MillisSince(start), 300);
  EXPECT_LT(ThreadCpuMillis() - cpuBefore, 100) << "the read spun instead of sleeping";

  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pair.server.Write("answer", 300);
  });
  EXPECT_TRUE(pair.client.Read(message, 5000));
  writer.join();
  EXPECT_EQ(message, "answer");
  NamedPipe::CloseDuplicate(duplicate);
}

bool PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

double ProcessCpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The process's CPU time for `count` round trips between a client on this thread and an
// echoing server thread, both on `cpu`: pinned there before they connect, or only after
// their first round trip.
double EchoCpuMillis(bool pinnedBeforeConnecting, int cpu, int count) {
  if (pinnedBeforeConnecting && !PinTo(cpu)) return -1;
  Pair pair(pinnedBeforeConnecting ? "pinned" : "repinned");
  if (!pair.opened) return -1;
  std::thread echo([&] {
    std::string message;
    for (int i = 0; i <= count; ++i) {
      if (!pair.server.Read(message, 5000)) return;
      if (i == 0) PinTo(cpu);
      pair.server.Write(message, 300);
    }
  });
  std::string answer;
  bool answered = pair.client.Write("ping", 300) && pair.client.Read(answer, 5000);
  PinTo(cpu);
  const double before = ProcessCpuMillis();
  for (int i = 0; answered && i < count; ++i) {
    answered = pair.client.Write("ping", 300) && pair.client.Read(answer, 5000);
  }
  const double used = ProcessCpuMillis() - before;
  echo.join();
  return answered ? used : -1;
}

// Whether a spin can pay is judged when a connection is made; an affinity set later (a
// cgroup's CPU set, taskset) can leave both ends on one CPU, where every spin holds the CPU
// the answer needs until it runs out: calls took five times as long, for good.
TEST(NamedPipeSleep, EndsThatComeToShareOneCpuStopSpinning) {
  cpu_set_t allowed;
  ASSERT_EQ(pthread_getaffinity_np(pthread_self(), sizeof allowed, &allowed), 0);
  if (CPU_COUNT(&allowed) < 2) GTEST_SKIP() << "needs two CPUs";
  int cpu = 0;
  while (!CPU_ISSET(cpu, &allowed)) ++cpu;
  constexpr int kRoundTrips = 400;
  const double pinnedFirst = EchoCpuMillis(true, cpu, kRoundTrips);
  pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
  const double pinnedLater = EchoCpuMillis(false, cpu, kRoundTrips);
  pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
  ASSERT_GE(pinnedFirst, 0);
  ASSERT_GE(pinnedLater, 0);
  // A spin is 100 us at each end; half of one per round trip is far more than the few
  // spins that learn the ends share a CPU.
  EXPECT_LT(pinnedLater, pinnedFirst + kRoundTrips * 0.05)
      << "pinned before connecting: " << pinnedFirst << " ms";
}

}  // namespace
