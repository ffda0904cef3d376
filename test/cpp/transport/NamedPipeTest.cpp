// The channel over real sockets: whole messages both ways, in one process and across
// processes, the wire bytes, the address mapping and the open failures with their lines.
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

TEST(NamedPipe, MessagesTravelBothWaysInOneProcess) {
  CaptureStderr();
  Pair pair("both");
  ASSERT_TRUE(pair.opened);
  EXPECT_TRUE(pair.server.IsOpen());
  EXPECT_TRUE(pair.client.IsOpen());
  std::string message;
  for (int turn = 0; turn < 3; ++turn) {
    const std::string request = R"({"request":{"name":"F)" + std::to_string(turn) + "\"}}";
    ASSERT_TRUE(pair.client.Write(request, 300));
    ASSERT_TRUE(pair.server.Read(message, 300));
    EXPECT_EQ(message, request);
    ASSERT_TRUE(pair.server.Write("answer " + request, 300));
    ASSERT_TRUE(pair.client.Read(message, 300));
    EXPECT_EQ(message, "answer " + request);
  }
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipe, MessagesTravelBothWaysAcrossProcesses) {
  const std::string name = UniqueName("fork");
  const std::string inner("x\0y\0z", 5);
  Signal ready;
  // Callback pair: the child queues as mode 2, the parent receives as mode 4; then the
  // request pair: the child answers as mode 1 what the parent sends as mode 3.
  const pid_t child = Fork([&] {
    NamedPipe callbacks(name + "_callback", IPC::ServerCallback);
    NamedPipe requests(name, IPC::ServerRequest);
    if (!callbacks.Open(300) || !requests.Open(300)) return 1;
    ready.Raise();
    if (!callbacks.Write("fired", 5000)) return 2;
    std::string message;
    for (int turn = 0; turn < 2; ++turn) {
      if (!requests.Read(message, 5000)) return 3;
      if (!requests.Write("echo:" + message, 5000)) return 4;
    }
    return 0;
  });
  ASSERT_TRUE(ready.Await());

  NamedPipe callbacks(name + "_callback", IPC::ClientCallback);
  ASSERT_TRUE(callbacks.Open(300));
  std::string message;
  ASSERT_TRUE(callbacks.Read(message, 5000));
  EXPECT_EQ(message, "fired");

  NamedPipe requests(name, IPC::ClientRequest);
  ASSERT_TRUE(requests.Open(300));
  for (const std::string& text : {std::string("plain"), inner}) {
    ASSERT_TRUE(requests.Write(text, 300));
    ASSERT_TRUE(requests.Read(message, 5000));
    EXPECT_EQ(message, "echo:" + text);
  }
  EXPECT_EQ(Join(child), 0);
}

// One socket message holds exactly the bzip2 stream of the text and its NUL, each way.
TEST(NamedPipe, WireBytesAreOneStreamOfTheTextAndItsNul) {
  const std::string name = UniqueName("wire");
  const int listener = RawListen(name);
  ASSERT_GE(listener, 0);
  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);

  const std::string text("{\"k\":\"v\0w\"}", 11);
  ASSERT_TRUE(client.Write(text, 300));
  std::string received(200000, '\0');
  const ssize_t length = recv(peer, &received[0], received.size(), 0);
  ASSERT_GT(length, 0);
  received.resize(static_cast<size_t>(length));
  EXPECT_EQ(received, WireBytes(text));

  ASSERT_TRUE(RawSend(peer, WireBytes(text + "!")));
  std::string message;
  ASSERT_TRUE(client.Read(message, 300));
  EXPECT_EQ(message, text + "!");
  close(peer);
  close(listener);
}

// The address is a NUL and the path's bytes, with no NUL after them.
TEST(NamedPipe, AddressCoversExactlyThePathBytes) {
  const std::string name = UniqueName("addr");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  const int exact = RawConnect(name);
  EXPECT_GE(exact, 0);
  EXPECT_EQ(RawConnect(name, 1), -1) << "a trailing NUL names another socket";
  close(exact);
}

TEST(NamedPipe, EmptyNameFailsToOpenWithItsLine) {
  for (int mode : {1, 3}) {
    NamedPipe pipe("", mode);
    CaptureStderr();
    EXPECT_FALSE(pipe.Open(300));
    EXPECT_EQ(GetCapturedStderr(),
              Line("Open : Failed to create IPC object as input name is empty", "", mode));
    EXPECT_FALSE(pipe.IsOpen());
  }
}

// The path must fit the socket address whole: 1 + 9 + 98 bytes do, one more does not.
TEST(NamedPipe, NameTooLongForTheAddressFailsToOpen) {
  const std::string fits = UniqueName("long") + std::string(98, 'n');
  NamedPipe server(fits.substr(0, 98), IPC::ServerRequest);
  NamedPipe client(fits.substr(0, 98), IPC::ClientRequest);
  CaptureStderr();
  EXPECT_TRUE(server.Open(300));
  EXPECT_TRUE(client.Open(300));
  EXPECT_EQ(GetCapturedStderr(), "");

  const std::string tooLong = fits.substr(0, 99);
  NamedPipe longServer(tooLong, IPC::ServerRequest);
  NamedPipe longClient(tooLong, IPC::ClientRequest);
  CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(longServer.Open(300));
  EXPECT_FALSE(longClient.Open(3000));
  EXPECT_LT(MillisSince(start), 2000) << "a name that cannot fit is not retried";
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Failed to create IPC object", tooLong, 1, ENAMETOOLONG) +
                Line("Open : Client IPC object open failed", tooLong, 3, ENAMETOOLONG));
}

TEST(NamedPipe, NameAlreadyBoundFailsToOpen) {
  const std::string name = UniqueName("bound");
  NamedPipe first(name, IPC::ServerRequest);
  ASSERT_TRUE(first.Open(300));
  NamedPipe second(name, IPC::ServerRequest);
  CaptureStderr();
  EXPECT_FALSE(second.Open(300));
  EXPECT_EQ(GetCapturedStderr(), Line("Open : Failed to create IPC object", name, 1, EADDRINUSE));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(first.IsOpen());
}

TEST(NamedPipe, ClientOpenKeepsTryingUntilTheLimit) {
  const std::string name = UniqueName("absent");
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Open(300));
  const long long elapsed = MillisSince(start);
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Client IPC object open failed", name, 3, ECONNREFUSED));
  EXPECT_GE(elapsed, 300);
  EXPECT_LT(elapsed, 5000);
  EXPECT_FALSE(client.IsOpen());
}

TEST(NamedPipe, ClientOpenFindsAServerThatAppearsWithinTheLimit) {
  const std::string name = UniqueName("late");
  NamedPipe server(name, IPC::ServerRequest);
  std::thread starter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.Open(300);
  });
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  const bool opened = client.Open(5000);
  starter.join();
  EXPECT_TRUE(opened);
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipe, LimitZeroStillMakesAnAttempt) {
  const std::string name = UniqueName("zero");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(0));  // a server never waits
  NamedPipe client(name, IPC::ClientRequest);
  EXPECT_TRUE(client.Open(0));

  NamedPipe orphan(UniqueName("zero_absent"), IPC::ClientRequest);
  CaptureStderr();
  EXPECT_FALSE(orphan.Open(0));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Client IPC object open failed", orphan.GetName(), 3, ECONNREFUSED));
}

}  // namespace
