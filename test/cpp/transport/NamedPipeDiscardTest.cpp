// DiscardWaiting: one whole waiting message dropped at once, nothing waited for, and a
// connection whose peer is gone left for the next write to mend.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using ChannelTestKit::UniqueName;
using IPC::NamedPipe;

TEST(NamedPipeDiscard, DropsOneWholeMessageAtATimeAndNeverWaits) {
  const std::string name = UniqueName("discard");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  EXPECT_FALSE(client.DiscardWaiting());
  ASSERT_TRUE(server.Write("first", 300));
  ASSERT_TRUE(server.Write("second", 300));
  ASSERT_TRUE(server.Write("third", 300));
  EXPECT_TRUE(client.DiscardWaiting());
  EXPECT_TRUE(client.DiscardWaiting());
  std::string message;
  ASSERT_TRUE(client.Read(message, 300));
  EXPECT_EQ(message, "third");
  // Nothing waits: a thousand checks take no time to speak of (each would be 1 ms or
  // more if it waited for the limit of a Read).
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) ASSERT_FALSE(client.DiscardWaiting());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
}

#ifndef _WIN32

// Raw socket messages: one longer than any valid one, and an empty one.
TEST(NamedPipeDiscard, RawMessagesOfAnySizeAreDroppedWhole) {
  using ChannelTestKit::RawListen;
  using ChannelTestKit::RawSend;
  const std::string name = UniqueName("discard_raw");
  const int listener = RawListen(name);
  ASSERT_GE(listener, 0);
  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(RawSend(peer, std::string(NamedPipe::kReadBufferSize + 10, 'y')));
  ASSERT_EQ(send(peer, "", 0, MSG_NOSIGNAL), 0);
  ASSERT_TRUE(RawSend(peer, ChannelTestKit::ReferenceCompress(std::string("kept\0", 5))));
  EXPECT_TRUE(client.DiscardWaiting());
  EXPECT_TRUE(client.DiscardWaiting());  // the empty message
  std::string message;
  ASSERT_TRUE(client.Read(message, 300));
  EXPECT_EQ(message, "kept");
  close(peer);
  close(listener);
}

#endif  // _WIN32

TEST(NamedPipeDiscard, APeerThatWentAwayIsLeftToTheNextWrite) {
  const std::string name = UniqueName("discard_gone");
  auto server = std::make_unique<NamedPipe>(name, IPC::ServerRequest);
  ASSERT_TRUE(server->Open(300));
  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  server.reset();
  EXPECT_FALSE(client.DiscardWaiting());
  EXPECT_TRUE(client.IsOpen());
  // A server under the same name again: the write reconnects and gets through.
  NamedPipe again(name, IPC::ServerRequest);
  ASSERT_TRUE(again.Open(300));
  EXPECT_TRUE(client.Write("hello", 300));
  std::string message;
  ASSERT_TRUE(again.Read(message, 1000));
  EXPECT_EQ(message, "hello");
}

}  // namespace
