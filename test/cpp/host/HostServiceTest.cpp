// The host library serving a real plug-in client over real pipes, in one process.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <chrono>
#include <fstream>
#include <sstream>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PluginClient.h"
#include "host/HostObject.h"
#include "host/HostService.h"
#include "host/RequestFront.h"
#include "ipc/ProxyInfo.h"
#include "transport/NamedPipe.h"

namespace {

using Host::Arguments;
using Host::HostObject;
using Host::HostService;
using Host::Result;
using HostTest::PluginClient;
using Clock = std::chrono::steady_clock;

// Text that compresses about as prose does.
std::string WordText(size_t size) {
  static const char* const words[] = {"alpha ", "beta ", "gamma ", "delta ", "pipe ", "host "};
  std::mt19937 random(7);
  std::string text;
  while (text.size() < size) {
    text += words[random() % 6];
    text += static_cast<char>('a' + random() % 26);
  }
  text.resize(size);
  return text;
}

class HostServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pluginId = HostTest::UniquePluginId("hostservice");
    root = std::make_shared<HostObject>("Application", "app");
    root->Define("Add",
                 [](const Arguments& args) -> Result { return args.GetInt(0) + args.GetInt(1); });
    root->Define("Size", [](const Arguments& args) -> Result {
      return static_cast<int64_t>(args.GetString(0).size());
    });
    root->Define("Noise", [](const Arguments& args) -> Result {
      std::mt19937 random(3);
      std::string bytes(static_cast<size_t>(args.GetInt(0)), '\0');
      const auto letters = static_cast<uint32_t>(args.GetInt(1, 90));
      for (char& c : bytes) {
        c = static_cast<char>('!' + random() % letters);
      }
      return bytes;
    });
    service = std::make_unique<HostService>(pluginId);
    service->SetRoot(root);
  }

  // The root's proxy identifier, as the plug-in learns it.
  int64_t RootId(PluginClient& client) {
    IPC::ProxyInfo proxy;
    const auto response = client.Request("GetKestrel");
    EXPECT_TRUE(response.status) << client.LastResponse();
    EXPECT_TRUE(proxy.FromVariantMap(response.result.GetMap("result")));
    return proxy.proxyId;
  }

  std::string pluginId;
  std::shared_ptr<HostObject> root;
  std::unique_ptr<HostService> service;
};

TEST_F(HostServiceTest, ServesTheRootAndItsFunctionsToAClient) {
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  ASSERT_TRUE(client.IsConnected());
  const int64_t id = RootId(client);
  EXPECT_EQ(id, root->GetProxyId());
  const auto sum = client.Request("Add", R"({"0":2,"1":40})", id);
  ASSERT_TRUE(sum.status) << client.LastResponse();
  EXPECT_EQ(sum.result.GetInt("result"), 42);
  const auto bad = client.Request("Add", R"({"0":"x"})", id);
  EXPECT_FALSE(bad.status);
  EXPECT_EQ(bad.errorStr, "Argument 0 must be a whole number, not a string");
  service->Stop();
  EXPECT_FALSE(service->IsRunning());
}

TEST_F(HostServiceTest, FiresOnlyCallbacksThePluginRegistered) {
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  EXPECT_FALSE(service->FireCallback("Changed"));
  ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"Changed"})").status);
  ASSERT_TRUE(client.OpenCallbacks());
  EXPECT_TRUE(service->FireCallback("Changed"));
  EXPECT_FALSE(service->FireCallback("Other"));
  EXPECT_EQ(client.ReadCallback(5000), R"({"response":{"status":true,"result":"Changed"}})");
  ASSERT_TRUE(client.Request("DeregisterCallback", R"({"0":"Changed"})").status);
  EXPECT_FALSE(service->FireCallback("Changed"));
  EXPECT_EQ(client.ReadCallback(200), "");
  EXPECT_TRUE(service->SendCallbackText("anything"));
  EXPECT_EQ(client.ReadCallback(5000), "anything");
}

TEST_F(HostServiceTest, TheUnloadHandlerRunsOnceTheAnswerIsOut) {
  std::promise<void> unloaded;
  service->SetUnloadHandler([&] { unloaded.set_value(); });
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  const auto response = client.Request("UnloadPlugin", R"({"id":"x"})");
  EXPECT_TRUE(response.status);
  EXPECT_EQ(unloaded.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

// A front made of a function, whose waits end when the service stops.
class FunctionFront : public Host::RequestFront {
 public:
  using Body = std::function<void(FunctionFront&, const std::string&, IPC::ServerAnswer&)>;
  explicit FunctionFront(Body body) : body_(std::move(body)) {}
  void Answer(const std::string& request, IPC::ServerAnswer& answer) override {
    body_(*this, request, answer);
  }
  void Stopping() override {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    changed_.notify_all();
  }
  // False when the service stopped first.
  bool Wait(std::chrono::milliseconds time) {
    std::unique_lock<std::mutex> guard(lock_);
    return !changed_.wait_for(guard, time, [this] { return stopping_; });
  }

 private:
  Body body_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool stopping_ = false;
};

TEST_F(HostServiceTest, AFrontCanReplyWithAnyTextOrNotAtAllAndAnEmptyAnswerIsLogged) {
  std::mutex lock;
  std::vector<std::string> seen;
  const std::string raw("raw \x01\xff bytes", 12);
  FunctionFront front([&](FunctionFront&, const std::string& request, IPC::ServerAnswer& answer) {
    size_t count;
    {
      std::lock_guard<std::mutex> guard(lock);
      seen.push_back(request);
      count = seen.size();
    }
    if (count == 1) {
      answer.text = raw;
    } else if (count > 2) {
      service->AnswerRequest(request, answer);
    }
  });
  service->SetRequestFront(&front);
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId, 300);
  std::string response;
  ASSERT_TRUE(client.Exchange("first", response));
  EXPECT_EQ(response, raw);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(client.Exchange("second", response));
  // The empty answer is written, and the channel refuses it with its line.
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "IPC | Error | Write : Failed to write as input message is empty (PluginId:" +
                pluginId + ") (Mode:1)\n"),
            std::string::npos);
  ASSERT_TRUE(client.Exchange(R"({"request":{"name":"GetKestrel"}})", response));
  EXPECT_NE(response.find(R"("type":"proxy")"), std::string::npos);
  service->Stop();
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(seen,
            (std::vector<std::string>{"first", "second", R"({"request":{"name":"GetKestrel"}})"}));
}

TEST_F(HostServiceTest, ALateAnswerIsDroppedAndTheNextRequestGetsItsOwn) {
  std::atomic<int> count{0};
  FunctionFront front([&](FunctionFront& self, const std::string& request,
                          IPC::ServerAnswer& answer) {
    if (count++ == 0 && !self.Wait(std::chrono::milliseconds(500))) return;
    service->AnswerRequest(request, answer);
  });
  service->SetRequestFront(&front);
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId, 100);
  std::string response;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(client.Exchange(R"({"request":{"requestId":1,"name":"UnloadPlugin"}})", response));
  client.SetTimeout(10000);
  ASSERT_TRUE(client.Exchange(R"({"request":{"requestId":2,"name":"UnloadPlugin"}})", response));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(response, R"({"response":{"requestId":2,"status":true,"result":true}})");
  // The answer to request 1 came while request 2 waited (or before it went out).
  EXPECT_NE(log.find("IPCHandler : Discarded a"), std::string::npos) << log;
  service->Stop();
}

TEST_F(HostServiceTest, AFrontThatClosesTheRequestPipeFailsThePendingCallAtOnce) {
  std::atomic<int> count{0};
  std::promise<void> reopen;
  std::shared_future<void> reopened = reopen.get_future().share();
  FunctionFront front([&](FunctionFront&, const std::string& request, IPC::ServerAnswer& answer) {
    if (count++ == 0) {
      service->RequestPipe().Close();
      reopened.wait();
      service->RequestPipe().Open(300);
      return;
    }
    service->AnswerRequest(request, answer);
  });
  service->SetRequestFront(&front);
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId, 30000);
  std::string response;
  const auto started = Clock::now();
  EXPECT_FALSE(client.Exchange(R"({"request":{"name":"GetKestrel"}})", response));
  // It fails because the host went away, not because the 30 s limit passed.
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(20));
  reopen.set_value();
  bool answered = false;
  for (int attempt = 0; attempt < 100 && !answered; ++attempt) {
    answered = client.Exchange(R"({"request":{"name":"GetKestrel"}})", response);
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(answered);
  EXPECT_NE(response.find(R"("type":"proxy")"), std::string::npos);
  service->Stop();
}

TEST_F(HostServiceTest, StopCutsAPendingFrontWaitShort) {
  FunctionFront front([](FunctionFront& self, const std::string&, IPC::ServerAnswer&) {
    self.Wait(std::chrono::minutes(10));
  });
  service->SetRequestFront(&front);
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId, 200);
  std::string response;
  EXPECT_FALSE(client.Exchange(R"({"request":{"name":"GetKestrel"}})", response));
  const auto started = Clock::now();
  service->Stop();
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(60));
}

TEST_F(HostServiceTest, OneIdentifierIsServedByOneHostOnly) {
  ASSERT_TRUE(service->Start());
  HostService second(pluginId);
  EXPECT_FALSE(second.Start());
  EXPECT_FALSE(second.IsRunning());
  EXPECT_FALSE(second.FireCallback("x"));
  // The first one is unaffected.
  PluginClient client(pluginId);
  EXPECT_GE(RootId(client), 1);
}

TEST_F(HostServiceTest, HostileRequestsAreAnsweredOrDroppedAndServiceGoesOn) {
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId, 2000);
  const int64_t id = RootId(client);
  std::string response;
  ASSERT_TRUE(client.Exchange("not json", response));
  EXPECT_NE(response.find(R"("errorCode":1)"), std::string::npos);
  // Deeper than the JSON reader allows, yet within the channel's expansion limit.
  ASSERT_TRUE(client.Exchange(std::string(2000, '['), response));
  EXPECT_NE(response.find(R"("status":false)"), std::string::npos);

  // A large argument that the pipe can carry is answered.
  const std::string words = WordText(250000);
  IPC::KvVariantMap args;
  args.Set("0", words);
  std::string request = IPC::RequestMessage("Size", args, id).ToJSONString();
  ASSERT_TRUE(client.Exchange(request, response)) << "the text must fit one message";
  EXPECT_NE(response.find(R"("result":250000)"), std::string::npos) << response;

  // One that expands beyond the channel's ratio limit is dropped by the host's reader:
  // the client waits in vain, and the host serves the next request.
  args.Set("0", std::string(8 * 1024 * 1024, 'x'));
  request = IPC::RequestMessage("Size", args, id).ToJSONString();
  EXPECT_FALSE(client.Exchange(request, response));
  EXPECT_GE(RootId(client), 1);
}

TEST_F(HostServiceTest, AResultTooLargeForThePipeIsAnsweredWithAFailure) {
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  const int64_t id = RootId(client);
  const auto small = client.Request("Noise", R"({"0":1000})", id);
  EXPECT_TRUE(small.status);
  const auto large = client.Request("Noise", R"({"0":300000})", id);
  EXPECT_FALSE(large.status);
  EXPECT_EQ(large.errorCode, Host::ToInt(Host::ErrorCode::BadResult));
  EXPECT_EQ(large.errorStr.rfind("Result too large to send (", 0), 0u) << large.errorStr;
  // A result too long to be sure of without compressing it, that fits, arrives whole.
  const auto fits = client.Request("Noise", R"({"0":300000,"1":4})", id);
  ASSERT_TRUE(fits.status) << fits.errorStr;
  const std::string text = fits.result.GetString("result");
  ASSERT_EQ(text.size(), 300000u);
  EXPECT_EQ(text.find_first_not_of("!\"#$"), std::string::npos);
}

// The inode of the socket listening on the pipe named `name`, from /proc/net/unix; 0
// when none listens.
unsigned long ListeningInode(const std::string& name) {
  std::ifstream table("/proc/net/unix");
  std::string line;
  const std::string suffix = "pipe\\" + name;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, refs, protocol, flags, type, state, inode, path;
    fields >> slot >> refs >> protocol >> flags >> type >> state >> inode >> path;
    const bool listening = (std::stoul(flags.empty() ? "0" : flags, nullptr, 16) & 0x10000) != 0;
    if (listening && path.size() >= suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return std::stoul(inode);
    }
  }
  return 0;
}

// The host used to close and bind the callback name again at the first registration,
// and another user's process could take it in between.
TEST_F(HostServiceTest, TheCallbackPipeIsNeverReboundWhileRegistrationsComeAndGo) {
  ASSERT_TRUE(service->Start());
  const unsigned long listening = ListeningInode(pluginId + "_callback");
  ASSERT_NE(listening, 0u);
  PluginClient client(pluginId);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"Changed"})").status);
    ASSERT_TRUE(client.OpenCallbacks());
    EXPECT_TRUE(service->FireCallback("Changed"));
    EXPECT_EQ(client.ReadCallback(5000), R"({"response":{"status":true,"result":"Changed"}})");
    EXPECT_EQ(ListeningInode(pluginId + "_callback"), listening);
    ASSERT_TRUE(client.Request("DeregisterCallback", R"({"0":"Changed"})").status);
  }
}

// A request the host cannot decompress used to get no answer, leaving the plug-in waiting.
TEST_F(HostServiceTest, AnUndecompressableRequestIsAnsweredWithAFailureAtOnce) {
  ASSERT_TRUE(service->Start());
  IPC::NamedPipe raw(pluginId, IPC::ClientRequest);
  ASSERT_TRUE(raw.Open(1000));
  testing::internal::CaptureStderr();
  ASSERT_TRUE(raw.WriteCompressed("BZh9 but not a bzip2 stream", 300));
  std::string answer;
  const bool answered = raw.Read(answer, 5000);
  testing::internal::GetCapturedStderr();
  raw.Close();
  ASSERT_TRUE(answered);
  IPC::ResponseMessage response;
  ASSERT_TRUE(response.FromJSONString(answer)) << answer;
  EXPECT_FALSE(response.status);
  EXPECT_EQ(response.errorCode, Host::ToInt(Host::ErrorCode::MalformedRequest));
  // The service goes on.
  PluginClient client(pluginId);
  EXPECT_GE(RootId(client), 1);
}

// Names of megabytes and a queue nobody reads used to grow the host without end.
TEST_F(HostServiceTest, CallbackNamesAndTheUnreadQueueAreBounded) {
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  const std::string huge = WordText(20000);
  const auto refused = client.Request("RegisterCallback", "{\"0\":\"" + huge + "\"}");
  EXPECT_FALSE(refused.status);
  EXPECT_EQ(refused.errorCode, Host::ToInt(Host::ErrorCode::BadArgument));
  EXPECT_FALSE(service->IsCallbackRegistered(huge));

  // Registered, but the callback pipe is never opened: what cannot be sent is dropped.
  ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"Changed"})").status);
  testing::internal::CaptureStderr();
  int dropped = 0;
  const std::string payload = WordText(10000);
  for (int i = 0; i < 2000; ++i) {
    if (!service->FireCallback("Changed", payload)) ++dropped;
  }
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_GT(dropped, 0);
  const std::string line = "CallbackSender : Dropping callback messages";
  ASSERT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line)) << "one line for the whole run of drops";
}

TEST_F(HostServiceTest, ACallbackCarriesItsArgumentsWithObjectsAsProxies) {
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  const int64_t id = RootId(client);
  ASSERT_TRUE(client.Request("RegisterCallback", R"({"0":"Changed"})").status);
  ASSERT_TRUE(client.OpenCallbacks());
  EXPECT_TRUE(service->FireCallback("Changed", root, "shapeAdded", 3));
  const std::string text = client.ReadCallback(5000);
  IPC::ResponseMessage message;
  ASSERT_TRUE(message.FromJSONString(text)) << text;
  EXPECT_EQ(message.result.GetString("result"), "Changed");
  EXPECT_NE(text.find(R"("args":{"0":{"type":"proxy","value":{"proxyId":)" + std::to_string(id)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"("1":"shapeAdded","2":3})"), std::string::npos) << text;
}

// An answer that expands more than 100 times used to be refused by the plug-in's reader,
// after the trip, and the call waited for its time-out (for ever without one).
TEST_F(HostServiceTest, AResultThePluginWouldRefuseToDecompressIsAnsweredWithAFailure) {
  root->Define("Repeat", [](const Arguments& args) -> Result {
    return std::string(static_cast<size_t>(args.GetInt(0)), 'x');
  });
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId, 20000);
  const int64_t id = RootId(client);
  testing::internal::CaptureStderr();
  const auto started = Clock::now();
  const auto answer = client.Request("Repeat", R"({"0":5000000})", id);
  const auto took = Clock::now() - started;
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(answer.status) << client.LastResponse();
  EXPECT_EQ(answer.errorCode, Host::ToInt(Host::ErrorCode::BadResult));
  EXPECT_LT(took, std::chrono::seconds(10));
}

}  // namespace

namespace {

// The application's side of a dispatcher: work it was handed, run when it chooses.
class PostedWork {
 public:
  void Post(std::function<void()> work) {
    std::lock_guard<std::mutex> guard(lock_);
    work_.push_back(std::move(work));
    changed_.notify_all();
  }
  // Waits for the next piece and takes it.
  std::function<void()> Take() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return !work_.empty(); });
    std::function<void()> work = std::move(work_.front());
    work_.erase(work_.begin());
    return work;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::function<void()>> work_;
};

}  // namespace

TEST_F(HostServiceTest, HostFunctionsRunOnTheDispatchersThreadAndTheAnswerWaitsForThem) {
  PostedWork posted;
  std::atomic<std::thread::id> ranOn{};
  root->Define("Where", [&](const Arguments&) -> Result {
    ranOn = std::this_thread::get_id();
    return true;
  });
  service->SetDispatcher([&](std::function<void()> work) { posted.Post(std::move(work)); });
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  const int64_t id = RootId(client);  // the plug-in's own operations need no dispatcher
  auto call = std::async(std::launch::async, [&] { return client.Request("Where", "{}", id); });
  // Nothing is answered until this thread runs the work.
  EXPECT_EQ(call.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  posted.Take()();
  EXPECT_TRUE(call.get().status);
  EXPECT_EQ(ranOn.load(), std::this_thread::get_id());
  service->Stop();
}

TEST_F(HostServiceTest, ACallTheDispatcherDropsFailsAndStopEndsAWaitForOneNotBegun) {
  std::atomic<bool> dropAll{true};
  std::atomic<int> calls{0};
  PostedWork kept;
  root->Define("Count", [&](const Arguments&) -> Result { return ++calls; });
  service->SetDispatcher([&](std::function<void()> work) {
    if (!dropAll) {
      kept.Post(std::move(work));
    }
  });
  ASSERT_TRUE(service->Start());
  PluginClient client(pluginId);
  const int64_t id = RootId(client);
  const auto dropped = client.Request("Count", "{}", id);
  EXPECT_FALSE(dropped.status);
  EXPECT_EQ(dropped.errorStr, "Host failure: the application dropped the call unrun");

  // Stop on the thread that would run the work: it must not wait for it.
  dropAll = false;
  client.SetTimeout(500);
  auto call = std::async(std::launch::async, [&] { return client.Request("Count", "{}", id); });
  std::function<void()> late = kept.Take();
  service->Stop();
  EXPECT_FALSE(call.get().status);
  late();  // after Stop the work does nothing
  EXPECT_EQ(calls.load(), 0);
}
