// Peers of another user are refused at both ends. On Linux, switching user needs root, so
// those tests run a child under the unprivileged "nobody" ids and skip otherwise. On Windows
// the pipe itself admits the current user only, and a server's Close never waits on a
// client that stopped reading.
#include <gtest/gtest.h>

#ifdef _WIN32
#include "transport/ChannelTestKit.h"  // windows.h first
#include <aclapi.h>
#endif

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Clock = std::chrono::steady_clock;

#ifdef _WIN32

// The TOKEN_USER of this process.
std::vector<unsigned char> CurrentUser() {
  HANDLE token = nullptr;
  std::vector<unsigned char> user;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  user.resize(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
  CloseHandle(token);
  return user;
}

// Anyone else could open a pipe with the default descriptor and read the plug-in's
// requests: the pipe's only entry grants the current user, and nobody else, access.
TEST(NamedPipePeer, PipeAdmitsTheCurrentUserAlone) {
  const std::string name = UniqueName("dacl");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  const HANDLE probe = CreateFileA(PipePath(name).c_str(), READ_CONTROL, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(probe, INVALID_HANDLE_VALUE);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = GetSecurityInfo(probe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &dacl, nullptr, &descriptor);
  CloseHandle(probe);
  ASSERT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr) << "a missing list would let everyone in";
  std::vector<unsigned char> user = CurrentUser();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(dacl->AceCount, 1);
  void* entry = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, &entry));
  const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart),
                       reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid));
  LocalFree(descriptor);
}

// A flush before closing would wait for the client to read, for ever if it never does;
// what was written still reaches the client after the close.
TEST(NamedPipePeer, ServerCloseNeverWaitsForAClientThatStopsReading) {
  Pair pair("stalled");
  ASSERT_TRUE(pair.opened);
  ASSERT_TRUE(pair.server.Write("last words", 300));
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    pair.server.Close();
    closed = true;
  });
  const auto start = Clock::now();
  while (!closed && MillisSince(start) < 3000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool closedInTime = closed;
  std::string message;
  // Reading is what unblocks a flush that waits for it.
  EXPECT_TRUE(pair.client.Read(message, 1000));
  closer.join();
  EXPECT_TRUE(closedInTime);
  EXPECT_EQ(message, "last words");
}

#else

constexpr uid_t kNobody = 65534;

bool BecomeNobody() { return setgid(kNobody) == 0 && setuid(kNobody) == 0; }

TEST(NamedPipePeer, ClientRefusesAServerOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "switching user needs root";
  const std::string name = UniqueName("foreign_server");
  Signal ready;
  Signal done;
  const pid_t child = Fork([&] {
    if (!BecomeNobody()) return 1;
    NamedPipe server(name, IPC::ServerRequest);
    if (!server.Open(300)) return 2;
    ready.Raise();
    done.Await();
    return 0;
  });
  ASSERT_TRUE(ready.Await());
  NamedPipe client(name, IPC::ClientRequest);
  CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Open(5000));
  EXPECT_LT(MillisSince(start), 2500) << "no point retrying against a name held by another user";
  EXPECT_EQ(GetCapturedStderr(), Line("Open : Client IPC object open failed", name, 3, EACCES));
  EXPECT_FALSE(client.IsOpen());
  done.Raise();
  EXPECT_EQ(Join(child), 0);
}

TEST(NamedPipePeer, ServerRefusesAClientOfAnotherUserAndKeepsListening) {
  if (geteuid() != 0) GTEST_SKIP() << "switching user needs root";
  const std::string name = UniqueName("foreign_client");
  NamedPipe server(name, IPC::ServerRequest);
  ASSERT_TRUE(server.Open(300));
  Signal sent;
  const pid_t child = Fork([&] {
    if (!BecomeNobody()) return 1;
    const int fd = RawConnect(name);
    if (fd < 0 || !RawSend(fd, WireBytes("let me in"))) return 2;
    sent.Raise();
    char byte;
    // The server hangs up without a word.
    return recv(fd, &byte, 1, 0) <= 0 ? 0 : 3;
  });
  ASSERT_TRUE(sent.Await());
  std::string message;
  CaptureStderr();
  EXPECT_FALSE(server.Read(message, 200));
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(Join(child), 0);

  NamedPipe client(name, IPC::ClientRequest);
  ASSERT_TRUE(client.Open(300));
  ASSERT_TRUE(client.Write("same user", 300));
  ASSERT_TRUE(server.Read(message, 300));
  EXPECT_EQ(message, "same user");
}

#endif  // _WIN32

}  // namespace
