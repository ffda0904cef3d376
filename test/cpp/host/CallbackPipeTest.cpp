// The host's callback pipe with a real plug-in end: what one thread sends at once and what
// the sending thread sends from the queue must reach the plug-in whole and in order.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PluginClient.h"
#include "host/CallbackPipe.h"
#include "ipc/CallbackSender.h"
#include "transport/NamedPipe.h"

namespace {

constexpr uint32_t kReadMs = 5000;

std::unique_ptr<IPC::NamedPipe> PlugInEnd(const std::string& name) {
  auto pipe = std::make_unique<IPC::NamedPipe>(name, IPC::ClientCallback);
  EXPECT_TRUE(pipe->Open(300));
  return pipe;
}

std::string Callback(int thread, int index) {
  return R"({"response":{"status":true,"result":"T)" + std::to_string(thread) + "_" +
         std::to_string(index) + R"("}})";
}

// Queued before the plug-in connects, fired into an idle pipe, and fired faster than the
// plug-in reads (so that the pipe fills and the rest waits in the queue): each message
// once, in firing order.
TEST(CallbackPipeTest, CallbacksFiredBeforeConnectingAndIntoAFullPipeArriveOnceInOrder) {
  const std::string name = HostTest::UniquePluginId("cbpipe") + "_callback";
  Host::CallbackPipe pipe(name);
  ASSERT_TRUE(pipe.Open());
  ASSERT_TRUE(pipe.Queue(Callback(0, 0)));
  auto plugIn = PlugInEnd(name);
  std::string message;
  ASSERT_TRUE(plugIn->Read(message, kReadMs));
  EXPECT_EQ(message, Callback(0, 0));
  // Long enough for the sending thread to have gone back to sleep.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  constexpr int kFired = 3000;
  for (int i = 1; i <= kFired; ++i) {
    ASSERT_TRUE(pipe.Queue(Callback(0, i)));
  }
  for (int i = 1; i <= kFired; ++i) {
    ASSERT_TRUE(plugIn->Read(message, kReadMs)) << i;
    ASSERT_EQ(message, Callback(0, i));
  }
  EXPECT_FALSE(plugIn->Read(message, 20)) << "one message too many: " << message;
}

// Several host threads fire at once, into a plug-in that reads as fast as it can: none may
// overtake another's earlier callback, and no two may write into the pipe together.
TEST(CallbackPipeTest, CallbacksFiredFromManyThreadsKeepEachThreadsOrder) {
  const std::string name = HostTest::UniquePluginId("cbpipe") + "_callback";
  Host::CallbackPipe pipe(name);
  ASSERT_TRUE(pipe.Open());
  auto plugIn = PlugInEnd(name);
  ASSERT_TRUE(pipe.Queue(Callback(9, 0)));
  std::string message;
  ASSERT_TRUE(plugIn->Read(message, kReadMs));

  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> firing;
  for (int t = 0; t < kThreads; ++t) {
    firing.emplace_back([&pipe, t] {
      for (int i = 0; i < kEach; ++i) pipe.Queue(Callback(t, i));
    });
  }
  std::vector<int> next(kThreads, 0);
  int read = 0;
  while (read < kThreads * kEach && plugIn->Read(message, kReadMs)) {
    ++read;
    bool known = false;
    for (int t = 0; t < kThreads && !known; ++t) {
      if (message == Callback(t, next[t])) {
        ++next[t];
        known = true;
      }
    }
    ASSERT_TRUE(known) << "out of order or damaged: " << message;
  }
  for (std::thread& thread : firing) thread.join();
  EXPECT_EQ(read, kThreads * kEach);
}

// A sender stopped while other threads keep queuing must not return while one of them
// still writes on the channel, which its owner destroys next.
TEST(CallbackPipeTest, StopWaitsForAThreadThatIsSendingAtOnce) {
  const std::string name = HostTest::UniquePluginId("cbpipe") + "_callback";
  for (int round = 0; round < 20; ++round) {
    auto server = std::make_unique<IPC::NamedPipe>(name, IPC::ServerCallback);
    ASSERT_TRUE(server->Open(300));
    IPC::CallbackSender sender;
    ASSERT_TRUE(sender.Start(*server));
    auto plugIn = PlugInEnd(name);
    ASSERT_TRUE(sender.QueueMessage(Callback(0, 0)));
    std::string message;
    ASSERT_TRUE(plugIn->Read(message, kReadMs));
    std::atomic<bool> stopFiring{false};
    std::atomic<bool> stopReading{false};
    std::thread firing([&] {
      for (int i = 1; !stopFiring.load(); ++i) sender.QueueMessage(Callback(0, i));
    });
    std::thread reading([&] {
      std::string text;
      while (!stopReading.load()) plugIn->Read(text, 10);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // The plug-in end reads on, so the queuing thread sends at once while Stop runs (and
    // logs its lost host when the channel goes).
    testing::internal::CaptureStderr();
    sender.Stop();
    server.reset();
    stopReading.store(true);
    reading.join();
    testing::internal::GetCapturedStderr();
    stopFiring.store(true);
    firing.join();
  }
}

}  // namespace
