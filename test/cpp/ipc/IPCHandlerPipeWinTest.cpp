// The handler's modes over real Windows named pipes, both ends in this process: requests
// and answers, queued callback messages, time-outs, stopping and a server that restarts.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "transport/NamedPipe.h"

namespace {

using IPC::IPCHandler;
using IPC::NamedPipe;
using Clock = std::chrono::steady_clock;

std::string UniqueName(const std::string& tag) {
  static int counter = 0;
  return "hl_win_ipc_" + tag + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
         std::to_string(counter++);
}

std::unique_ptr<NamedPipe> Pipe(const std::string& name, int32_t mode) {
  return std::make_unique<NamedPipe>(name, mode);
}

class EchoProcessor : public IPC::BaseMessageProcessor {
 public:
  void ProcessRequest(const std::string& request, std::string& response) override {
    IPC::RequestMessage parsed;
    response = parsed.FromJSONString(request)
                   ? IPC::ResponseMessage(parsed.requestId, "echo:" + parsed.name).ToJSONString()
                   : IPC::ResponseMessage(0, "unreadable request", 1).ToJSONString();
  }
};

struct Collected {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::string> messages;
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

void ExpectEcho(IPCHandler& client, const std::string& name) {
  IPC::RequestMessage request(name, IPC::KvVariantMap(), -1);
  std::string text;
  ASSERT_TRUE(client.SendRequest(request.ToJSONString(), text));
  IPC::ResponseMessage response;
  ASSERT_TRUE(response.FromJSONString(text)) << text;
  EXPECT_EQ(response.requestId, request.requestId);
  EXPECT_EQ(response.result.GetString("result"), "echo:" + name);
}

TEST(IPCHandlerOverWindowsPipes, RequestsAreAnsweredByTheServingProcessor) {
  const std::string name = UniqueName("echo");
  IPCHandler server(std::make_unique<EchoProcessor>());
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  IPCHandler client;
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(10000);
  for (int i = 0; i < 20; ++i) ExpectEcho(client, "Call" + std::to_string(i));
}

TEST(IPCHandlerOverWindowsPipes, QueuedMessagesReachTheCallbackReceiverInOrder) {
  const std::string name = UniqueName("queue");
  IPCHandler sender;
  ASSERT_TRUE(sender.Start(Pipe(name, IPC::ServerCallback)));
  auto sink = std::make_shared<Collected>();
  IPCHandler receiver(std::make_unique<CollectingProcessor>(sink));
  ASSERT_TRUE(receiver.Start(Pipe(name, IPC::ClientCallback)));
  std::vector<std::string> sent;
  for (int i = 0; i < 10; ++i) {
    sent.push_back(IPC::ResponseMessage(0, "callback" + std::to_string(i)).ToJSONString());
    sender.QueueMessage(sent.back());
  }
  std::unique_lock<std::mutex> guard(sink->lock);
  ASSERT_TRUE(sink->arrived.wait_for(guard, std::chrono::seconds(20),
                                     [&] { return sink->messages.size() >= sent.size(); }));
  EXPECT_EQ(sink->messages, sent);
}

TEST(IPCHandlerOverWindowsPipes, AnUnansweredRequestTimesOutWithExactlyOneLine) {
  const std::string name = UniqueName("silent");
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
  std::string request;
  ASSERT_TRUE(silentServer.Read(request, 5000));
  EXPECT_EQ(request, "{\"request\":{\"name\":\"Slow\"}}");
}

// The receiving worker reads with a short limit, so stopping it while the host is
// silent does not wait for the host's next message.
TEST(IPCHandlerOverWindowsPipes, AnIdleCallbackReceiverStopsPromptly) {
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

// A server that stops disconnects its client; the client's next exchange reopens the pipe
// once the server is back.
TEST(IPCHandlerOverWindowsPipes, AStoppedServerStartsAgainAndItsClientReconnects) {
  const std::string name = UniqueName("restart");
  IPCHandler server(std::make_unique<EchoProcessor>());
  IPCHandler client;
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  ASSERT_TRUE(client.Start(Pipe(name, IPC::ClientRequest)));
  client.SetTimeout(10000);
  ExpectEcho(client, "Before");
  server.Stop();
  ASSERT_TRUE(server.Start(Pipe(name, IPC::ServerRequest)));
  testing::internal::CaptureStderr();
  ExpectEcho(client, "After");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace

#endif  // _WIN32
