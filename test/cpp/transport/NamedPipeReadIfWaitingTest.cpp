// ReadIfWaiting, the read an event loop makes when told the callback pipe is readable: it
// takes and counts what waits, never waits itself, and tells a peer that went away from a
// pipe with nothing in it (the loop keeps watching only the latter; the receiving thread
// reconnects after the former).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using ChannelTestKit::UniqueName;
using IPC::ChannelError;
using IPC::NamedPipe;

TEST(NamedPipeReadIfWaiting, TakesAndCountsWhatWaitsAndNeverBlocksTheLoop) {
  const std::string name = UniqueName("read_waiting");
  NamedPipe server(name, IPC::ServerCallback);
  ASSERT_TRUE(server.Open(300));
  NamedPipe client(name, IPC::ClientCallback);
  ASSERT_TRUE(client.Open(300));
  std::string message = "stale";
  EXPECT_FALSE(client.ReadIfWaiting(message));
  EXPECT_EQ(client.LastError(), ChannelError::Timeout);
  EXPECT_TRUE(message.empty());
  ASSERT_TRUE(server.Write("first", 300));
  ASSERT_TRUE(server.Write("second", 300));
  ASSERT_TRUE(client.ReadIfWaiting(message));
  EXPECT_EQ(message, "first");
  EXPECT_EQ(client.TakenCount(), 1u);
  ASSERT_TRUE(client.ReadIfWaiting(message));
  EXPECT_EQ(message, "second");
  bool waiting = true;
  EXPECT_EQ(client.TakenMessages(waiting), 2u);
  EXPECT_FALSE(waiting);
  // Each look at an empty pipe would take a millisecond or more if it waited like a Read.
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) ASSERT_FALSE(client.ReadIfWaiting(message));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
}

#ifndef _WIN32

TEST(NamedPipeReadIfWaiting, APeerThatWentAwayIsNotAnEmptyPipe) {
  const std::string name = UniqueName("read_waiting_gone");
  auto server = std::make_unique<NamedPipe>(name, IPC::ServerCallback);
  ASSERT_TRUE(server->Open(300));
  NamedPipe client(name, IPC::ClientCallback);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(server->Write("last words", 300));
  server.reset();
  std::string message;
  ASSERT_TRUE(client.ReadIfWaiting(message));
  EXPECT_EQ(message, "last words");
  EXPECT_FALSE(client.ReadIfWaiting(message));
  EXPECT_NE(client.LastError(), ChannelError::Timeout);
}

#endif  // _WIN32

}  // namespace
