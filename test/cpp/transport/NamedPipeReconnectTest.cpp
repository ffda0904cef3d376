// Peers that leave and come back, on both platforms: a client reconnects on its next write
// (a callback client on its next read too), a request client's read fails at once when the
// host hung up, the server drops a departed client and takes the next, and on Linux a write
// never raises SIGPIPE.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(NamedPipeReconnect, ClientWriteReconnectsToAServerThatCameBack) {
  Pair pair("rewrite");
  ASSERT_TRUE(pair.opened);
  std::string message;
  ASSERT_TRUE(pair.client.Write("first", 300));
  ASSERT_TRUE(pair.server.Read(message, 300));
  pair.server.Close();

  // Cut off, the client reopens at once; nobody listens yet.
  CaptureStderr();
  EXPECT_FALSE(pair.client.Write("early", 300));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Client IPC object open failed", pair.name, 3, kNoServer));

  NamedPipe replacement(pair.name, IPC::ServerRequest);
  ASSERT_TRUE(replacement.Open(300));
  CaptureStderr();
  EXPECT_TRUE(pair.client.Write("second", 1000));
  ASSERT_TRUE(replacement.Read(message, 1000));
  EXPECT_EQ(message, "second");
  ASSERT_TRUE(replacement.Write("welcome back", 300));
  ASSERT_TRUE(pair.client.Read(message, 1000));
  EXPECT_EQ(message, "welcome back");
  EXPECT_EQ(GetCapturedStderr(), "");
}

// A callback client has nothing to resend: its read reconnects and goes on waiting.
TEST(NamedPipeReconnect, CallbackClientReadReconnectsToAServerThatCameBack) {
  const std::string name = UniqueName("reread");
  auto first = std::make_unique<NamedPipe>(name, IPC::ServerCallback);
  ASSERT_TRUE(first->Open(300));
  NamedPipe client(name, IPC::ClientCallback);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(first->Write("fired", 300));
  std::string message;
  ASSERT_TRUE(client.Read(message, 1000));
  EXPECT_EQ(message, "fired");
  first.reset();  // the host leaves

  NamedPipe second(name, IPC::ServerCallback);
  ASSERT_TRUE(second.Open(300));
  CaptureStderr();
  std::thread writer([&] { EXPECT_TRUE(second.Write("from the new server", 5000)); });
  EXPECT_TRUE(client.Read(message, 5000));
  writer.join();
  EXPECT_EQ(message, "from the new server");
  EXPECT_EQ(GetCapturedStderr(), "");
}

// The host hung up after the request was written, so its answer can never come: the read
// fails at once, without reconnecting and waiting out its limit on a new connection, and
// the next write connects again.
TEST(NamedPipeReconnect, RequestClientReadFailsAtOnceWhenTheHostHangsUpAfterTheRequest) {
  const std::string name = UniqueName("hangup");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(client.Write("question", 300));
  std::string message;
  ASSERT_TRUE(server.Read(message, 300));
  server.DropClient();  // the host hangs up; its name stays bound

  CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Read(message, 3000));
  EXPECT_LT(MillisSince(start), 1000);
  EXPECT_EQ(client.LastError(), IPC::ChannelError::Closed);
  EXPECT_FALSE(client.IsOpen());
  EXPECT_FALSE(server.Read(message, 20));  // a new connection would have been taken here
  EXPECT_EQ(GetCapturedStderr(), "");

  ASSERT_TRUE(client.Write("again", 300));
  ASSERT_TRUE(server.Read(message, 300));
  EXPECT_EQ(message, "again");
}

// The server sees its client leave on its next read, and the next client then gets in.
TEST(NamedPipeReconnect, ServerDropsADepartedClientAndTakesTheNext) {
  const std::string name = UniqueName("next");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  std::string message;
  CaptureStderr();
  {
    NamedPipe first(name, IPC::ClientRequest);
    ASSERT_TRUE(first.Open(300));
    ASSERT_TRUE(first.Write("one", 300));
    ASSERT_TRUE(server.Read(message, 300));
    EXPECT_EQ(message, "one");
  }
  EXPECT_FALSE(server.Read(message, 50));
  NamedPipe second(name, IPC::ClientRequest);
  ASSERT_TRUE(second.Open(300));
  ASSERT_TRUE(second.Write("two", 300));
  ASSERT_TRUE(server.Read(message, 300));
  EXPECT_EQ(message, "two");
  ASSERT_TRUE(server.Write("reply", 300));
  ASSERT_TRUE(second.Read(message, 300));
  EXPECT_EQ(message, "reply");
  EXPECT_EQ(GetCapturedStderr(), "");
}

// A failed reconnection ends the operation with the open's line alone; the next operation
// tries again.
TEST(NamedPipeReconnect, ServerGoneForGoodFailsWithTheOpenLine) {
  Pair pair("gone");
  ASSERT_TRUE(pair.opened);
  std::string message;
  ASSERT_TRUE(pair.client.Write("hello", 300));
  ASSERT_TRUE(pair.server.Read(message, 300));
  pair.server.Close();

  const std::string openFailed =
      Line("Open : Client IPC object open failed", pair.name, 3, kNoServer);
  CaptureStderr();
  EXPECT_FALSE(pair.client.Write("anyone?", 300));
  EXPECT_FALSE(pair.client.IsOpen());
  EXPECT_EQ(pair.client.LastError(), IPC::ChannelError::Timeout);
  // A request client's read waits for no new connection; its next write tries again.
  EXPECT_FALSE(pair.client.Read(message, 300));
  EXPECT_EQ(pair.client.LastError(), IPC::ChannelError::Closed);
  EXPECT_FALSE(pair.client.Write("anyone?", 300));
  EXPECT_EQ(GetCapturedStderr(), openFailed + openFailed);
}

#ifndef _WIN32

TEST(NamedPipeReconnect, WritesToADepartedPeerNeverRaiseSigpipe) {
  const pid_t child = Fork([] {
    signal(SIGPIPE, SIG_DFL);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    const std::string name = UniqueName("sigpipe");
    // A client whose server vanished.
    const int listener = RawListen(name);
    NamedPipe client(name, IPC::ClientRequest);
    if (!client.Open(300)) return 1;
    close(accept(listener, nullptr, nullptr));
    close(listener);
    if (client.Write("into the void", 100)) return 2;
    // A server whose client vanished.
    NamedPipe server(name, IPC::ServerRequest);
    if (!server.Open(300)) return 3;
    const int peer = RawConnect(name);
    if (!server.Write("first", 300)) return 4;
    close(peer);
    if (server.Write("second", 100)) return 5;
    return 0;
  });
  EXPECT_EQ(Join(child), 0) << "128 + 13 means SIGPIPE";
}

#endif  // _WIN32

}  // namespace
