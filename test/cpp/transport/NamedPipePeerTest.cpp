// Peers of another user are refused at both ends. Switching user needs root, so these
// tests run a child under the unprivileged "nobody" ids and skip otherwise.
#include <gtest/gtest.h>

#include <string>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

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

}  // namespace
