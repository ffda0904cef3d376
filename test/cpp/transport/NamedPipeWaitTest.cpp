// Waiting within limits, on both platforms: an idle read times out silently, a server
// without a client waits for one in its read or write, and a waiting read takes a message
// as it arrives.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(NamedPipeWait, ReadOnAnIdleChannelTimesOutAndLogsNothing) {
  Pair pair("idle");
  ASSERT_TRUE(pair.opened);
  NamedPipe lonely(UniqueName("idle_alone"), IPC::ServerCallback);
  ASSERT_TRUE(lonely.Open(300));
  CaptureStderr();
  for (NamedPipe* pipe : {&pair.server, &pair.client, &lonely}) {
    std::string message = "stale";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pipe->Read(message, 100));
    const long long elapsed = MillisSince(start);
    EXPECT_EQ(message, "");
    EXPECT_GE(elapsed, 100);
    EXPECT_LT(elapsed, 3000);
  }
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_TRUE(pair.client.IsOpen()) << "a time-out leaves the connection alone";
}

TEST(NamedPipeWait, ServerWriteWaitsForItsClient) {
  const std::string name = UniqueName("await");
  NamedPipe server(name, IPC::ServerCallback);
  ASSERT_TRUE(server.Open(300));
  CaptureStderr();
  std::string listening;
  EXPECT_FALSE(server.Read(listening, 50));  // no client yet: nothing logged
  EXPECT_EQ(GetCapturedStderr(), "");
  NamedPipe client(name, IPC::ClientCallback);
  std::thread connector([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    client.Open(300);
  });
  CaptureStderr();
  const bool written = server.Write("callback", 5000);
  connector.join();
  EXPECT_TRUE(written);
  std::string message;
  ASSERT_TRUE(client.Read(message, 300));
  EXPECT_EQ(message, "callback");
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipeWait, ServerWriteWithoutAClientFailsAtTheLimit) {
  const std::string name = UniqueName("noclient");
  NamedPipe server(name, IPC::ServerCallback);
  ASSERT_TRUE(server.Open(300));
  CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(server.Write("nobody listens", 100));
  EXPECT_GE(MillisSince(start), 100);
  EXPECT_EQ(GetCapturedStderr(), Line("Write : Failed to write message", name, 2, kNoClient));
}

TEST(NamedPipeWait, WaitingReadTakesAMessageThatArrivesLater) {
  Pair pair("later");
  ASSERT_TRUE(pair.opened);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pair.client.Write("late news", 300);
  });
  std::string message;
  const bool read = pair.server.Read(message, 10000);
  writer.join();
  EXPECT_TRUE(read);
  EXPECT_EQ(message, "late news");
}

}  // namespace
