// The channel on both platforms: whole messages both ways, the open failures with their
// lines and the limits of waiting for room; then what only one platform has: on Linux the
// wire bytes, the socket address and other processes, on Windows the pipe's own checks.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "transport/Bzip2Codec.h"
#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Clock = std::chrono::steady_clock;

// Letters drawn at random compress to about 60% of their length: enough text for a stream
// of roughly `streamBytes`.
std::string NoisyText(size_t streamBytes, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(streamBytes * 10 / 6, ' ');
  for (char& c : text) c = static_cast<char>('a' + random() % 26);
  return text;
}

TEST(NamedPipe, MessagesTravelBothWaysWhole) {
  CaptureStderr();
  Pair pair("both");
  ASSERT_TRUE(pair.opened);
  EXPECT_TRUE(pair.server.IsOpen());
  EXPECT_TRUE(pair.client.IsOpen());
  std::string message;
  for (int turn = 0; turn < 3; ++turn) {
    const std::string request =
        R"({"request":{"name":"F)" + std::to_string(turn) + std::string("\0inner\"}}", 9);
    ASSERT_TRUE(pair.client.Write(request, 300));
    ASSERT_TRUE(pair.server.Read(message, 300));
    EXPECT_EQ(message, request);
    ASSERT_TRUE(pair.server.Write("answer " + request, 300));
    ASSERT_TRUE(pair.client.Read(message, 300));
    EXPECT_EQ(message, "answer " + request);
  }
  EXPECT_EQ(GetCapturedStderr(), "");
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

// Only one server may hold a name: a second one is refused rather than joined.
TEST(NamedPipe, NameAlreadyTakenFailsToOpen) {
#ifdef _WIN32
  if (UnderWine()) {
    GTEST_SKIP() << "Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and adds a second instance";
  }
#endif
  const std::string name = UniqueName("bound");
  NamedPipe first(name, IPC::ServerRequest);
  ASSERT_TRUE(first.Open(300));
  NamedPipe second(name, IPC::ServerRequest);
  CaptureStderr();
  EXPECT_FALSE(second.Open(300));
  EXPECT_EQ(GetCapturedStderr(), Line("Open : Failed to create IPC object", name, 1, kNameTaken));
  EXPECT_EQ(second.LastError(), IPC::ChannelError::Access);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(first.IsOpen());
#ifdef _WIN32
  // A raw pipe of another process under the name is refused the same way.
  const std::string squatted = UniqueName("squat");
  const HANDLE raw = RawServer(squatted);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  NamedPipe server(squatted, IPC::ServerCallback);
  CaptureStderr();
  EXPECT_FALSE(server.Open(300));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Failed to create IPC object", squatted, 2, ERROR_ACCESS_DENIED));
  CloseHandle(raw);
#endif
}

TEST(NamedPipe, ClientOpenKeepsTryingUntilTheLimit) {
  const std::string name = UniqueName("absent");
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  const auto start = Clock::now();
  EXPECT_FALSE(client.Open(300));
  const long long elapsed = MillisSince(start);
  EXPECT_EQ(GetCapturedStderr(), Line("Open : Client IPC object open failed", name, 3, kNoServer));
  EXPECT_EQ(client.LastError(), IPC::ChannelError::Timeout);
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
            Line("Open : Client IPC object open failed", orphan.GetName(), 3, kNoServer));
}

// Two messages of nearly the pipe's size: the second waits for room, which the reader
// makes by taking the first, instead of failing at once.
TEST(NamedPipe, NearlyFullSizeMessagesWaitForRoomInThePipe) {
  Pair pair("full");
  ASSERT_TRUE(pair.opened);
  const std::string first = NoisyText(90000, 1);
  const std::string second = NoisyText(90000, 2);
  CaptureStderr();
  std::thread writer([&] {
    EXPECT_TRUE(pair.server.Write(first, 5000));
    EXPECT_TRUE(pair.server.Write(second, 5000));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string message;
  EXPECT_TRUE(pair.client.Read(message, 5000));
  EXPECT_TRUE(message == first);
  EXPECT_TRUE(pair.client.Read(message, 5000));
  EXPECT_TRUE(message == second);
  writer.join();
  EXPECT_EQ(GetCapturedStderr(), "");
}

#ifdef _WIN32

// A pipe message longer than the read buffer is reported and dropped whole; its tail is
// never taken for a message of its own.
TEST(NamedPipe, OversizedPipeMessageIsRejectedWhole) {
  const std::string name = UniqueName("huge");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  // A blocking handle, so that the write waits for the reader to drain the pipe.
  const HANDLE raw = CreateFileA(PipePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  std::thread writer([&] {
    const std::string huge(150000, 'h');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(raw, huge.data(), static_cast<DWORD>(huge.size()), &written, nullptr));
  });
  CaptureStderr();
  std::string message;
  EXPECT_FALSE(server.Read(message, 5000));
  writer.join();
  EXPECT_EQ(GetCapturedStderr(),
            Line("Read : Failed to decompress  (error:", name, 1, ERROR_MORE_DATA));
  CaptureStderr();
  EXPECT_FALSE(server.Read(message, 50));
  EXPECT_EQ(GetCapturedStderr(), "");
  CloseHandle(raw);
}

TEST(NamedPipe, NameWithAnInnerNulIsRefusedBeforeAnyPipeIsMade) {
  const std::string name("plug\0in", 7);
  NamedPipe server(name, IPC::ServerRequest);
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  EXPECT_FALSE(server.Open(300));
  EXPECT_FALSE(client.Open(300));
  const std::string log = GetCapturedStderr();
  EXPECT_NE(log.find("Open : Failed to create IPC object (PluginId:plug"), std::string::npos);
  EXPECT_NE(log.find("Open : Client IPC object open failed (PluginId:plug"), std::string::npos);
  EXPECT_EQ(WaitNamedPipeA(PipePath("plug").c_str(), 1), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A server that takes over the client's identity gets an identification token only.
TEST(NamedPipe, ServerCanOnlyIdentifyTheClient) {
  const std::string name = UniqueName("sqos");
  const HANDLE raw = RawServer(name);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(client.Write("who am I", 300));
  char buffer[512];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(raw, buffer, sizeof buffer, &read, nullptr));

  ASSERT_TRUE(ImpersonateNamedPipeClient(raw));
  HANDLE token = nullptr;
  const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
  SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
  DWORD size = 0;
  const BOOL queried = opened && GetTokenInformation(token, TokenImpersonationLevel, &level,
                                                     sizeof level, &size);
  RevertToSelf();
  if (opened) CloseHandle(token);
  CloseHandle(raw);
  ASSERT_TRUE(opened);
  ASSERT_TRUE(queried);
  if (UnderWine()) {
    GTEST_SKIP() << "Wine ignores the client's SECURITY_SQOS_PRESENT flags: its server "
                    "always impersonates at SecurityImpersonation level (got "
                 << level << ")";
  }
  EXPECT_EQ(level, SecurityIdentification);
}

#else

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
  IPC::Bzip2Codec codec;  // the writer's compressor: short texts take its own stream
  std::string stream;
  ASSERT_EQ(codec.Compress(text, stream), 0);
  EXPECT_EQ(received, stream);

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

#endif  // _WIN32

}  // namespace
