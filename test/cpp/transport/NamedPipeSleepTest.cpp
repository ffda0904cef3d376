// Linux request connections: a read sleeps in the receive itself, under a limit the socket
// keeps between reads, and not in poll. What that must not change: each read's own limit,
// serving the next client as soon as one leaves, and sleeping rather than spinning when an
// event loop's watch has made the shared socket non-blocking.
#include <fcntl.h>
#include <gtest/gtest.h>
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

}  // namespace
