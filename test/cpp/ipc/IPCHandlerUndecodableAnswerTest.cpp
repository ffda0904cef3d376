// An answer that arrives but cannot be decoded is traced as what it is, not as a time-out.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <thread>

#include "base/Trace.h"
#include "ipc/IPCHandler.h"
#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

TEST(IPCHandlerUndecodableAnswer, IsTracedOnALineOfItsOwn) {
  const std::string name =
      "hostlink_undecodable_" + std::to_string(std::random_device{}());
  const int listener = ChannelTestKit::RawListen(name);
  ASSERT_GE(listener, 0);
  // The host's end: takes the request and answers with bytes that are no bzip2 stream.
  std::thread host([listener] {
    const int connection = accept(listener, nullptr, nullptr);
    if (connection < 0) return;
    char request[65536];
    if (recv(connection, request, sizeof request, 0) > 0) {
      const char garbage[] = "BZh9 this is not a compressed text";
      send(connection, garbage, sizeof garbage - 1, 0);
    }
    char rest[16];
    recv(connection, rest, sizeof rest, 0);  // until the plug-in closes
    close(connection);
  });
  IPC::IPCHandler plugin;
  ASSERT_TRUE(plugin.Start(std::make_unique<IPC::NamedPipe>(name, IPC::ClientRequest)));
  IPC::EnableTrace(true);
  testing::internal::CaptureStderr();
  std::string response;
  const bool answered =
      plugin.SendRequest("{\"request\":{\"requestId\":5,\"name\":\"f\"}}", response);
  const std::string log = testing::internal::GetCapturedStderr();
  IPC::EnableTrace(false);
  plugin.Stop();
  host.join();
  close(listener);
  EXPECT_FALSE(answered);
  EXPECT_NE(log.find("! bad-answer pipe=" + name + " plugin=" + name +
                     " an answer came that could not be decoded\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("! timeout"), std::string::npos) << log;
}

}  // namespace
