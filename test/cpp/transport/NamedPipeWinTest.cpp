// The Windows channel over real kernel32 named pipes: messages both ways, the non-blocking
// waits, busy and missing pipes, reconnection, oversized messages and the security flags.
// Where Wine's pipes differ from Windows the case is skipped there, with the reason.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// winuser.h maps SendMessage to SendMessageA, which would rename the channel's member.
#undef SendMessage

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "transport/NamedPipe.h"

namespace {

using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Clock = std::chrono::steady_clock;

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "hl_win_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(counter++);
}

std::string Path(const std::string& name) { return NamedPipe::kPipePrefix + name; }

long long MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string Line(const std::string& text, const std::string& name, int mode, unsigned code) {
  return "IPC | Error | " + text + " (PluginId:" + name + ") (Mode:" + std::to_string(mode) +
         ") (Error:" + std::to_string(code) + ")\n";
}

// Letters drawn at random compress to about 60% of their length: enough text for a stream
// of roughly `streamBytes`.
std::string NoisyText(size_t streamBytes, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(streamBytes * 10 / 6, ' ');
  for (char& c : text) c = static_cast<char>('a' + random() % 26);
  return text;
}

// A pipe made directly with kernel32, as another process would make it.
HANDLE RawServer(const std::string& name) {
  return CreateNamedPipeA(Path(name).c_str(), PIPE_ACCESS_DUPLEX,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 102400,
                          102400, 0, nullptr);
}

struct Pair {
  explicit Pair(const std::string& tag)
      : name(UniqueName(tag)), server(name, IPC::ServerRequest), client(name, IPC::ClientRequest) {
    opened = server.Open(300) && client.Open(300);
  }
  std::string name;
  NamedPipe server;
  NamedPipe client;
  bool opened = false;
};

TEST(NamedPipeWin, MessagesTravelBothWaysWhole) {
  CaptureStderr();
  Pair pair("both");
  ASSERT_TRUE(pair.opened);
  std::string message;
  for (int turn = 0; turn < 3; ++turn) {
    const std::string request = std::string("call\0inner ", 11) + std::to_string(turn);
    ASSERT_TRUE(pair.client.Write(request, 300));
    ASSERT_TRUE(pair.server.Read(message, 300));
    EXPECT_EQ(message, request);
    ASSERT_TRUE(pair.server.Write("answer " + request, 300));
    ASSERT_TRUE(pair.client.Read(message, 300));
    EXPECT_EQ(message, "answer " + request);
  }
  EXPECT_EQ(GetCapturedStderr(), "");
}

// The client's handle is switched to non-blocking too: its read keeps to the limit.
TEST(NamedPipeWin, ReadsOnAnIdlePipeTimeOutSilentlyAtBothEnds) {
  Pair pair("idle");
  ASSERT_TRUE(pair.opened);
  CaptureStderr();
  std::string message = "stale";
  for (NamedPipe* end : {&pair.client, &pair.server}) {
    const auto start = Clock::now();
    EXPECT_FALSE(end->Read(message, 100));
    EXPECT_GE(MillisSince(start), 95);
    EXPECT_LT(MillisSince(start), 5000);
    EXPECT_EQ(message, "");
  }
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipeWin, ServerPicksUpAClientThatComesLater) {
  const std::string name = UniqueName("late");
  NamedPipe server(name, IPC::ServerCallback);
  ASSERT_TRUE(server.Open(300));
  CaptureStderr();
  std::string message;
  EXPECT_FALSE(server.Read(message, 50));  // listening: nothing logged
  EXPECT_EQ(GetCapturedStderr(), "");

  NamedPipe client(name, IPC::ClientCallback);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(server.Write("fired", 300));
  ASSERT_TRUE(client.Read(message, 300));
  EXPECT_EQ(message, "fired");
}

TEST(NamedPipeWin, ServerWriteWithoutAClientFailsAtTheLimitWithListening) {
  const std::string name = UniqueName("lonely");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  CaptureStderr();
  const auto start = Clock::now();
  EXPECT_FALSE(server.Write("nobody", 100));
  EXPECT_GE(MillisSince(start), 95);
  EXPECT_EQ(GetCapturedStderr(),
            Line("Write : Failed to write message", name, 1, ERROR_PIPE_LISTENING));
}

TEST(NamedPipeWin, ClientOpenOnAMissingPipeRetriesUntilTheLimit) {
  const std::string name = UniqueName("missing");
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  const auto start = Clock::now();
  EXPECT_FALSE(client.Open(100));
  EXPECT_GE(MillisSince(start), 95);
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Client IPC object open failed", name, 3, ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(client.IsOpen());
}

TEST(NamedPipeWin, BusyPipeIsWaitedForAndTakenOnceTheServerListensAgain) {
  Pair pair("busy");
  ASSERT_TRUE(pair.opened);
  NamedPipe second(pair.name, IPC::ClientRequest);
  CaptureStderr();
  EXPECT_FALSE(second.Open(50));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Client IPC object open failed", pair.name, 3, ERROR_PIPE_BUSY));

  // The first client leaves; the server's read finds the pipe broken and makes a new
  // instance, which the waiting client then takes.
  pair.client.Close();
  CaptureStderr();
  std::string message;
  EXPECT_FALSE(pair.server.Read(message, 50));
  ASSERT_TRUE(second.Open(2000));
  ASSERT_TRUE(second.Write("next", 300));
  ASSERT_TRUE(pair.server.Read(message, 2000));
  EXPECT_EQ(message, "next");
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipeWin, ClientReconnectsToAServerThatClosedAndCameBack) {
  Pair pair("back");
  ASSERT_TRUE(pair.opened);
  pair.server.Close();

  // Disconnected by its server, the client reopens at once; nobody listens yet.
  CaptureStderr();
  EXPECT_FALSE(pair.client.Write("early", 300));
  EXPECT_EQ(GetCapturedStderr(), Line("Open : Client IPC object open failed", pair.name, 3,
                                      ERROR_FILE_NOT_FOUND));

  ASSERT_TRUE(pair.server.Open(300));
  CaptureStderr();
  ASSERT_TRUE(pair.client.Write("again", 1000));
  std::string message;
  ASSERT_TRUE(pair.server.Read(message, 1000));
  EXPECT_EQ(message, "again");
  ASSERT_TRUE(pair.server.Write("welcome back", 300));
  ASSERT_TRUE(pair.client.Read(message, 1000));
  EXPECT_EQ(message, "welcome back");
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipeWin, ClosedClientReopensOnItsNextRead) {
  Pair pair("reopen");
  ASSERT_TRUE(pair.opened);
  pair.client.Close();
  std::string message;
  EXPECT_FALSE(pair.server.Read(message, 50));  // broken: a new instance listens
  CaptureStderr();
  EXPECT_FALSE(pair.client.Read(message, 50));  // no handle: reopens, then waits
  EXPECT_TRUE(pair.client.IsOpen());
  ASSERT_TRUE(pair.server.Write("hello", 300));
  ASSERT_TRUE(pair.client.Read(message, 1000));
  EXPECT_EQ(message, "hello");
  EXPECT_EQ(GetCapturedStderr(), "");
}

// Two messages of nearly the pipe's size: the second waits for room, which the reader
// makes by taking the first, instead of failing at once.
TEST(NamedPipeWin, NearlyFullSizeMessagesWaitForRoomInThePipe) {
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

// A pipe message longer than the read buffer is reported and dropped whole; its tail is
// never taken for a message of its own.
TEST(NamedPipeWin, OversizedPipeMessageIsRejectedWhole) {
  const std::string name = UniqueName("huge");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  // A blocking handle, so that the write waits for the reader to drain the pipe.
  const HANDLE raw = CreateFileA(Path(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
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

TEST(NamedPipeWin, NameWithAnInnerNulIsRefusedBeforeAnyPipeIsMade) {
  const std::string name("plug\0in", 7);
  NamedPipe server(name, IPC::ServerRequest);
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  EXPECT_FALSE(server.Open(300));
  EXPECT_FALSE(client.Open(300));
  const std::string log = GetCapturedStderr();
  EXPECT_NE(log.find("Open : Failed to create IPC object (PluginId:plug"), std::string::npos);
  EXPECT_NE(log.find("Open : Client IPC object open failed (PluginId:plug"), std::string::npos);
  EXPECT_EQ(WaitNamedPipeA(Path("plug").c_str(), 1), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Only the first instance of a name is ours to make: a name already taken, by another
// channel or by a raw pipe of another process, is refused rather than shared.
TEST(NamedPipeWin, ServerRefusesANameThatAlreadyHasAnInstance) {
  if (UnderWine()) {
    GTEST_SKIP() << "Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and adds a second instance";
  }
  const std::string name = UniqueName("taken");
  NamedPipe first(name, IPC::ServerRequest);
  ASSERT_TRUE(first.Open(300));
  NamedPipe second(name, IPC::ServerRequest);
  CaptureStderr();
  EXPECT_FALSE(second.Open(300));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Failed to create IPC object", name, 1, ERROR_ACCESS_DENIED));

  const std::string squatted = UniqueName("squat");
  const HANDLE raw = RawServer(squatted);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  NamedPipe server(squatted, IPC::ServerCallback);
  CaptureStderr();
  EXPECT_FALSE(server.Open(300));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Open : Failed to create IPC object", squatted, 2, ERROR_ACCESS_DENIED));
  CloseHandle(raw);
}

// A server that takes over the client's identity gets an identification token only.
TEST(NamedPipeWin, ServerCanOnlyIdentifyTheClient) {
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

}  // namespace

#endif  // _WIN32
