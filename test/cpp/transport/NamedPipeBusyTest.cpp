// A server serves one client at a time and keeps its name while open, on both platforms: a
// second client is turned away as busy within its limit, and a server that opens again never
// leaves its name free for another process to take.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::ChannelError;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(NamedPipeBusy, SecondClientIsTurnedAwayAsBusyWhileOneIsServed) {
  Pair pair("busy");
  ASSERT_TRUE(pair.opened);
  std::string message;
  ASSERT_TRUE(pair.client.Write("first", 300));
  ASSERT_TRUE(pair.server.Read(message, 300));

  for (const int mode : {IPC::ClientRequest, IPC::ClientCallback}) {
    NamedPipe second(pair.name, mode);
    CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(second.Open(100));
    EXPECT_LT(MillisSince(start), 1000);
    EXPECT_EQ(second.LastError(), ChannelError::Busy);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(GetCapturedStderr(),
              Line("Open : Client IPC object open failed", pair.name, mode, kBusy));
  }
  // The client being served is not disturbed.
  ASSERT_TRUE(pair.server.Write("answer", 300));
  ASSERT_TRUE(pair.client.Read(message, 300));
  EXPECT_EQ(message, "answer");

  // Once it leaves and the server has seen it go, the next client gets in.
  pair.client.Close();
  EXPECT_FALSE(pair.server.Read(message, 50));
  NamedPipe next(pair.name, IPC::ClientRequest);
  ASSERT_TRUE(next.Open(300));
  ASSERT_TRUE(next.Write("next", 300));
  ASSERT_TRUE(pair.server.Read(message, 300));
  EXPECT_EQ(message, "next");
}

#ifdef _WIN32
// Whoever makes a pipe name first sets its default wait, and a squatter can make it long:
// an open that finds the pipe busy waits for a free instance only within its own limit.
TEST(NamedPipeBusy, OpenOfABusyPipeWaitsOnlyWithinItsLimitNotThePipesDefault) {
  const std::string name = UniqueName("squatted");
  constexpr DWORD kSquattersDefaultWaitMs = 20000;
  const HANDLE squatter = CreateNamedPipeA(
      PipePath(name).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE |
      PIPE_WAIT, 1, 4096, 4096, kSquattersDefaultWaitMs, nullptr);
  ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
  // Its one instance is taken by a client of its own, so every open finds it busy.
  const HANDLE occupant = CreateFileA(PipePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(occupant, INVALID_HANDLE_VALUE);

  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Open(300));
  const long long elapsed = MillisSince(start);
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Client IPC object open failed", name, IPC::ClientRequest, kBusy));
  EXPECT_EQ(client.LastError(), ChannelError::Busy);
  EXPECT_GE(elapsed, 300);
  EXPECT_LT(elapsed, 3000) << "waited for the pipe's default of " << kSquattersDefaultWaitMs
                           << " ms";
  CloseHandle(occupant);
  CloseHandle(squatter);
}
#endif

// A server told to open again (as a host renews its callback pipe) lets its client go but
// keeps the name bound throughout, so a process trying all along to bind the name never
// gets it.
TEST(NamedPipeBusy, ServerOpeningAgainNeverLeavesItsNameFree) {
#ifdef _WIN32
  if (UnderWine()) {
    GTEST_SKIP() << "Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and the instance limit: "
                    "another process can always add an instance of a name";
  }
#endif
  const std::string name = UniqueName("keep");
  NamedPipe server(name, IPC::ServerCallback);
  ASSERT_TRUE(server.Open(300));
  std::atomic<bool> done{false};
  std::atomic<int> squatted{0};
  std::thread squatter([&] {
    while (!done) {
      if (TakeNameBriefly(name)) ++squatted;
    }
  });
#ifndef _WIN32
  const unsigned long listening = ListeningSocketInode(name);
  ASSERT_NE(listening, 0u);
#endif
  for (int turn = 0; turn < 2000; ++turn) ASSERT_TRUE(server.Open(300));
  done = true;
  squatter.join();
  EXPECT_EQ(squatted, 0);
#ifndef _WIN32
  // The window is too short for a squatter to hit every time; the socket that listens
  // shows that there was none.
  EXPECT_EQ(ListeningSocketInode(name), listening) << "the name was let go and bound again";
#endif

  NamedPipe client(name, IPC::ClientCallback);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(server.Write("still here", 300));
  std::string message;
  ASSERT_TRUE(client.Read(message, 300));
  EXPECT_EQ(message, "still here");
}

}  // namespace
