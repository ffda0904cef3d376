// The handler's four modes over real sockets: both ends in this process, and the serving
// or sending end in a forked process.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "SocketTestSupport.h"
#include "ipc/IPCHandler.h"
#include "transport/NamedPipe.h"

namespace {

using IPC::IPCHandler;
using IPC::KvVariantMap;
using IPC::NamedPipe;
using IPC::RequestMessage;
using IPC::ResponseMessage;
using namespace IPCTest;

const char kPlainSuccess[] =
    "{\"response\":{\"requestId\":18446744073709551615,\"status\":true,\"result\":true}}";

std::unique_ptr<NamedPipe> Pipe(const std::string& name, int32_t mode) {
  return std::make_unique<NamedPipe>(name, mode);
}

std::string NoProcessorLine(const std::string& name) {
  return "IPC | Error | IPCHandler : Failed to process request, no processor available "
         "(PluginId:" +
         name + ") (Mode:1)\n";
}

// Sends a request named `name` and checks that the echo server answered that request.
void ExpectEcho(IPCHandler& client, const std::string& name) {
  KvVariantMap args;
  args.Set("0", name);
  RequestMessage request(name, args, 3);
  std::string responseText;
  ASSERT_TRUE(client.SendRequest(request.ToJSONString(), responseText));
  ResponseMessage response;
  ASSERT_TRUE(response.FromJSONString(responseText)) << responseText;
  EXPECT_TRUE(response.status);
  EXPECT_EQ(response.requestId, request.requestId);
  EXPECT_EQ(response.result.GetString("result"), "echo:" + name);
}

TEST(IPCHandlerOverSockets, ClientRequestsAreAnsweredByTheServingProcessor) {
  const std::string name = UniqueName("echo");
  IPCHandler server(std::make_unique<EchoProcessor>());
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  for (int i = 0; i < 20; ++i) {
    ExpectEcho(client, "Call" + std::to_string(i));
  }
  client.Stop();
  server.Stop();
}

TEST(IPCHandlerOverSockets, AServerWithoutProcessorAnswersPlainSuccessAndLogsEachRequest) {
  const std::string name = UniqueName("plain");
  testing::internal::CaptureStderr();
  IPCHandler server;
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  std::string first;
  std::string second;
  const bool ok1 =
      client.SendRequest(RequestMessage("A", KvVariantMap(), -1).ToJSONString(), first);
  const bool ok2 = client.SendRequest("{\"request\":{}}", second);
  server.Stop();
  client.Stop();
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
  EXPECT_EQ(first, kPlainSuccess);
  EXPECT_EQ(second, kPlainSuccess);
  EXPECT_EQ(log, NoProcessorLine(name) + NoProcessorLine(name));
}

TEST(IPCHandlerOverSockets, QueuedMessagesReachTheCallbackReceiverInOrder) {
  const std::string name = UniqueName("queue");
  IPCHandler sender;
  ASSERT_TRUE(sender.Start(Pipe(name, IPC::ServerCallback)));
  auto sink = std::make_shared<Collected>();
  IPCHandler receiver(std::make_unique<CollectingProcessor>(sink));
  ASSERT_TRUE(receiver.Start(Pipe(name, IPC::ClientCallback)));
  std::vector<std::string> sent;
  for (int i = 0; i < 10; ++i) {
    sent.push_back(ResponseMessage(0, "callback" + std::to_string(i)).ToJSONString());
    sender.QueueMessage(sent.back());
  }
  ASSERT_TRUE(sink->WaitFor(sent.size()));
  sender.Stop();
  receiver.Stop();
  EXPECT_EQ(sink->Snapshot(), sent);
  EXPECT_TRUE(sender.IsQueueEmpty());
}

TEST(IPCHandlerOverSockets, AnUnansweredRequestTimesOutWithExactlyOneLine) {
  const std::string name = UniqueName("timeout");
  NamedPipe silentServer(name, IPC::ServerRequest);
  ASSERT_TRUE(silentServer.Open(300));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(200);
  std::string response = "stale";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(client.SendRequest("{\"request\":{\"name\":\"Slow\"}}", response));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "IPC | Error | IPCHandler : Failed to read response after sending request\n");
  EXPECT_EQ(response, "");
  // The request did arrive; nobody answered it.
  std::string request;
  ASSERT_TRUE(silentServer.Read(request, 5000));
  EXPECT_EQ(request, "{\"request\":{\"name\":\"Slow\"}}");
}

TEST(IPCHandlerOverSockets, StartLogsAnInvalidChannelAndFailsAnAbsentServer) {
  IPCHandler handler;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.Start(Pipe("", IPC::ClientRequest)));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "IPC | Error | IPCHandler : Failed to start as IPC interface object is invalid\n");
  EXPECT_EQ(handler.GetChannel(), nullptr);

  const std::string name = UniqueName("absent");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.Start(Pipe(name, IPC::ClientCallback)));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(log.rfind("IPC | Error | Open : Client IPC object open failed (PluginId:" + name +
                          ") (Mode:4) (Error:",
                      0),
            0u)
      << log;
  EXPECT_NE(handler.GetChannel(), nullptr) << "a channel that failed to open is kept";
  handler.Stop();
  EXPECT_EQ(handler.GetChannel(), nullptr);
}

TEST(IPCHandlerOverSockets, AStoppedServerStartsAgainAndItsClientReconnects) {
  const std::string name = UniqueName("restart");
  IPCHandler server(std::make_unique<EchoProcessor>());
  IPCHandler client;
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  ExpectEcho(client, "Before");

  const auto stopBegin = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopBegin, std::chrono::seconds(5));
  EXPECT_EQ(server.GetChannel(), nullptr);

  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  ExpectEcho(client, "After");
  client.Stop();
  server.Stop();
}

TEST(IPCHandlerAcrossProcesses, ClientRequestsAreAnsweredByAServingProcess) {
  const std::string name = UniqueName("xecho");
  Signal ready;
  Signal done;
  const pid_t child = ForkChild([&] {
    IPCHandler server(std::make_unique<EchoProcessor>());
    if (!server.Start(Pipe(name, IPC::ServerRequest))) return 2;
    ready.Send('R');
    const bool finished = done.Wait('D');
    server.Stop();
    return finished ? 0 : 3;
  });
  ASSERT_GT(child, 0);
  ASSERT_TRUE(ready.Wait('R'));
  {
    IPCHandler client;
    EXPECT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
    for (int i = 0; i < 20; ++i) {
      ExpectEcho(client, "Remote" + std::to_string(i));
    }
  }
  done.Send('D');
  EXPECT_EQ(WaitForChild(child), 0);
}

TEST(IPCHandlerAcrossProcesses, AServingProcessWithoutProcessorAnswersPlainSuccess) {
  const std::string name = UniqueName("xplain");
  Signal ready;
  Signal done;
  testing::internal::CaptureStderr();  // the child writes to the same stderr
  const pid_t child = ForkChild([&] {
    IPCHandler server;
    if (!server.Start(Pipe(name, IPC::ServerRequest))) return 2;
    ready.Send('R');
    const bool finished = done.Wait('D');
    server.Stop();
    return finished ? 0 : 3;
  });
  bool started = false;
  bool answered = false;
  std::string response;
  if (child > 0 && ready.Wait('R')) {
    IPCHandler client;
    started = client.Start(Pipe(name, IPC::ClientRequest));
    answered = client.SendRequest("{\"request\":{\"name\":\"X\"}}", response);
  }
  done.Send('D');
  const int status = WaitForChild(child);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(started);
  EXPECT_TRUE(answered);
  EXPECT_EQ(response, kPlainSuccess);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(log, NoProcessorLine(name));
}

TEST(IPCHandlerAcrossProcesses, AQueueingProcessFeedsTheCallbackReceiver) {
  const std::string name = UniqueName("xqueue");
  const int count = 25;
  Signal ready;
  Signal go;
  Signal done;
  const pid_t child = ForkChild([&] {
    IPCHandler sender;
    if (!sender.Start(Pipe(name, IPC::ServerCallback))) return 2;
    ready.Send('R');
    if (!go.Wait('G')) return 3;
    for (int i = 0; i < count; ++i) {
      sender.QueueMessage("{\"response\":{\"status\":true,\"result\":\"cb" + std::to_string(i) +
                          "\"}}");
    }
    const bool finished = done.Wait('D');
    sender.Stop();
    return finished ? 0 : 4;
  });
  ASSERT_GT(child, 0);
  ASSERT_TRUE(ready.Wait('R'));
  auto sink = std::make_shared<Collected>();
  {
    IPCHandler receiver(std::make_unique<CollectingProcessor>(sink));
    EXPECT_TRUE(receiver.Start(Pipe(name, IPC::ClientCallback)));
    go.Send('G');
    EXPECT_TRUE(sink->WaitFor(count));
  }
  done.Send('D');
  EXPECT_EQ(WaitForChild(child), 0);
  const std::vector<std::string> received = sink->Snapshot();
  ASSERT_EQ(received.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    ResponseMessage callback;
    ASSERT_TRUE(callback.FromJSONString(received[i]));
    EXPECT_TRUE(callback.status);
    EXPECT_EQ(callback.result.GetString("result"), "cb" + std::to_string(i));
  }
}

}  // namespace
