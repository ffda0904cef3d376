// The handler's four modes over real channels on both platforms, both ends in this process:
// requests and their answers, the plain answer of a server without processor, queued
// callback messages, time-outs, start failures, stopping and a server that restarts. Then,
// on Linux, the serving or sending end in a forked process.
#include <gtest/gtest.h>

#include "transport/ChannelTestKit.h"  // windows.h first

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/BaseMessageProcessor.h"
#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::IPCHandler;
using IPC::KvVariantMap;
using IPC::NamedPipe;
using IPC::RequestMessage;
using IPC::ResponseMessage;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Clock = std::chrono::steady_clock;

// Long enough for a slow machine or Wine; a lost answer still fails the exchange.
constexpr uint32_t kExchangeLimitMs = 10000;

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

// Answers each request with a success whose result is "echo:" and the request's name.
class EchoProcessor : public IPC::BaseMessageProcessor {
 public:
  void ProcessRequest(const std::string& request, std::string& response) override {
    RequestMessage parsed;
    response = parsed.FromJSONString(request)
                   ? ResponseMessage(parsed.requestId, "echo:" + parsed.name).ToJSONString()
                   : ResponseMessage(0, "unreadable request", 1).ToJSONString();
  }
};

// Messages seen by a callback processor, shared with the test that owns the handler.
struct Collected {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::string> messages;

  bool WaitFor(size_t count, std::chrono::seconds limit = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> guard(lock);
    return arrived.wait_for(guard, limit, [&] { return messages.size() >= count; });
  }
  std::vector<std::string> Snapshot() {
    std::lock_guard<std::mutex> guard(lock);
    return messages;
  }
};

class CollectingProcessor : public IPC::BaseMessageProcessor {
 public:
  explicit CollectingProcessor(std::shared_ptr<Collected> sink) : sink_(std::move(sink)) {}
  void ProcessCallbackMessage(const std::string& message) override {
    std::lock_guard<std::mutex> guard(sink_->lock);
    sink_->messages.push_back(message);
    sink_->arrived.notify_all();
  }

 private:
  std::shared_ptr<Collected> sink_;
};

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

TEST(IPCHandlerOverPipes, ClientRequestsAreAnsweredByTheServingProcessor) {
  const std::string name = UniqueName("echo");
  IPCHandler server(std::make_unique<EchoProcessor>());
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(kExchangeLimitMs);
  for (int i = 0; i < 20; ++i) {
    ExpectEcho(client, "Call" + std::to_string(i));
  }
  client.Stop();
  server.Stop();
}

TEST(IPCHandlerOverPipes, AServerWithoutProcessorAnswersPlainSuccessAndLogsEachRequest) {
  const std::string name = UniqueName("plain");
  CaptureStderr();
  IPCHandler server;
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(kExchangeLimitMs);
  std::string first;
  std::string second;
  const bool ok1 =
      client.SendRequest(RequestMessage("A", KvVariantMap(), -1).ToJSONString(), first);
  const bool ok2 = client.SendRequest("{\"request\":{}}", second);
  server.Stop();
  client.Stop();
  const std::string log = GetCapturedStderr();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
  EXPECT_EQ(first, kPlainSuccess);
  EXPECT_EQ(second, kPlainSuccess);
  EXPECT_EQ(log, NoProcessorLine(name) + NoProcessorLine(name));
}

TEST(IPCHandlerOverPipes, QueuedMessagesReachTheCallbackReceiverInOrder) {
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

TEST(IPCHandlerOverPipes, AnUnansweredRequestTimesOutWithExactlyOneLine) {
  const std::string name = UniqueName("timeout");
  NamedPipe silentServer(name, IPC::ServerRequest);
  ASSERT_TRUE(silentServer.Open(300));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(200);
  std::string response = "stale";
  CaptureStderr();
  EXPECT_FALSE(client.SendRequest("{\"request\":{\"name\":\"Slow\"}}", response));
  EXPECT_EQ(GetCapturedStderr(),
            "IPC | Error | IPCHandler : Failed to read response after sending request\n");
  EXPECT_EQ(response, "");
  // The request did arrive; nobody answered it.
  std::string request;
  ASSERT_TRUE(silentServer.Read(request, 5000));
  EXPECT_EQ(request, "{\"request\":{\"name\":\"Slow\"}}");
}

TEST(IPCHandlerOverPipes, StartLogsAnInvalidChannelAndFailsAnAbsentServer) {
  IPCHandler handler;
  CaptureStderr();
  EXPECT_FALSE(handler.Start(Pipe("", IPC::ClientRequest)));
  EXPECT_EQ(GetCapturedStderr(),
            "IPC | Error | IPCHandler : Failed to start as IPC interface object is invalid\n");
  EXPECT_EQ(handler.GetChannel(), nullptr);

  const std::string name = UniqueName("absent");
  CaptureStderr();
  EXPECT_FALSE(handler.Start(Pipe(name, IPC::ClientCallback)));
  const std::string log = GetCapturedStderr();
  EXPECT_EQ(log, Line("Open : Client IPC object open failed", name, 4, kNoServer));
  EXPECT_NE(handler.GetChannel(), nullptr) << "a channel that failed to open is kept";
  handler.Stop();
  EXPECT_EQ(handler.GetChannel(), nullptr);
}

// The receiving worker reads with a short limit, so stopping it while the host is
// silent does not wait for the host's next message.
TEST(IPCHandlerOverPipes, AnIdleCallbackReceiverStopsPromptly) {
  const std::string name = UniqueName("idle");
  IPCHandler sender;
  ASSERT_TRUE(sender.Start(Pipe(name, IPC::ServerCallback)));
  IPCHandler receiver(std::make_unique<CollectingProcessor>(std::make_shared<Collected>()));
  ASSERT_TRUE(receiver.Start(Pipe(name, IPC::ClientCallback)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = Clock::now();
  receiver.Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(receiver.GetChannel(), nullptr);
}

// A server that stops disconnects its client; the client's next exchange reopens the
// channel once the server is back, without a line.
TEST(IPCHandlerOverPipes, AStoppedServerStartsAgainAndItsClientReconnects) {
  const std::string name = UniqueName("restart");
  IPCHandler server(std::make_unique<EchoProcessor>());
  IPCHandler client;
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(kExchangeLimitMs);
  ExpectEcho(client, "Before");

  const auto stopBegin = Clock::now();
  server.Stop();
  EXPECT_LT(Clock::now() - stopBegin, std::chrono::seconds(5));
  EXPECT_EQ(server.GetChannel(), nullptr);

  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  CaptureStderr();
  ExpectEcho(client, "After");
  EXPECT_EQ(GetCapturedStderr(), "");
  client.Stop();
  server.Stop();
}

#ifndef _WIN32

// The other end in a forked process, which Windows has no counterpart of; there both ends
// stay in one process (above).

// How long a parent or child waits for the other's signal before giving up.
constexpr int kSignalLimitMs = 20000;

TEST(IPCHandlerAcrossProcesses, ClientRequestsAreAnsweredByAServingProcess) {
  const std::string name = UniqueName("xecho");
  Signal ready;
  Signal done;
  const pid_t child = Fork([&] {
    IPCHandler server(std::make_unique<EchoProcessor>());
    if (!server.Start(Pipe(name, IPC::ServerRequest))) return 2;
    ready.Raise();
    const bool finished = done.Await(kSignalLimitMs);
    server.Stop();
    return finished ? 0 : 3;
  });
  ASSERT_GT(child, 0);
  ASSERT_TRUE(ready.Await(kSignalLimitMs));
  {
    IPCHandler client;
    EXPECT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
    for (int i = 0; i < 20; ++i) {
      ExpectEcho(client, "Remote" + std::to_string(i));
    }
  }
  done.Raise();
  EXPECT_EQ(Join(child), 0);
}

TEST(IPCHandlerAcrossProcesses, AServingProcessWithoutProcessorAnswersPlainSuccess) {
  const std::string name = UniqueName("xplain");
  Signal ready;
  Signal done;
  CaptureStderr();  // the child writes to the same stderr
  const pid_t child = Fork([&] {
    IPCHandler server;
    if (!server.Start(Pipe(name, IPC::ServerRequest))) return 2;
    ready.Raise();
    const bool finished = done.Await(kSignalLimitMs);
    server.Stop();
    return finished ? 0 : 3;
  });
  bool started = false;
  bool answered = false;
  std::string response;
  if (child > 0 && ready.Await(kSignalLimitMs)) {
    IPCHandler client;
    started = client.Start(Pipe(name, IPC::ClientRequest));
    answered = client.SendRequest("{\"request\":{\"name\":\"X\"}}", response);
  }
  done.Raise();
  const int status = Join(child);
  const std::string log = GetCapturedStderr();
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
  const pid_t child = Fork([&] {
    IPCHandler sender;
    if (!sender.Start(Pipe(name, IPC::ServerCallback))) return 2;
    ready.Raise();
    if (!go.Await(kSignalLimitMs)) return 3;
    for (int i = 0; i < count; ++i) {
      sender.QueueMessage("{\"response\":{\"status\":true,\"result\":\"cb" + std::to_string(i) +
                          "\"}}");
    }
    const bool finished = done.Await(kSignalLimitMs);
    sender.Stop();
    return finished ? 0 : 4;
  });
  ASSERT_GT(child, 0);
  ASSERT_TRUE(ready.Await(kSignalLimitMs));
  auto sink = std::make_shared<Collected>();
  {
    IPCHandler receiver(std::make_unique<CollectingProcessor>(sink));
    EXPECT_TRUE(receiver.Start(Pipe(name, IPC::ClientCallback)));
    go.Raise();
    EXPECT_TRUE(sink->WaitFor(count));
  }
  done.Raise();
  EXPECT_EQ(Join(child), 0);
  const std::vector<std::string> received = sink->Snapshot();
  ASSERT_EQ(received.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    ResponseMessage callback;
    ASSERT_TRUE(callback.FromJSONString(received[i]));
    EXPECT_TRUE(callback.status);
    EXPECT_EQ(callback.result.GetString("result"), "cb" + std::to_string(i));
  }
}

#endif  // _WIN32

}  // namespace
