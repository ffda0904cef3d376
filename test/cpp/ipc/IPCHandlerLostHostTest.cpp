// A callback receiver whose host went away: it keeps looking for the host at the pace of
// its turns, not as fast as reopening fails, and still stops at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "ipc/IPCHandler.h"
#include "transport/NamedPipe.h"

namespace {

using IPC::IPCHandler;
using IPC::NamedPipe;
using Clock = std::chrono::steady_clock;

std::string UniqueName() {
  static const unsigned seed = std::random_device{}();
  static int counter = 0;
  return "hostlink_lost_" + std::to_string(seed) + "_" + std::to_string(counter++);
}

TEST(IPCHandlerLostHost, ACallbackReceiverRetriesAtThePaceOfItsTurns) {
  const std::string name = UniqueName();
  auto host = std::make_unique<NamedPipe>(name, IPC::ServerCallback);
  ASSERT_TRUE(host->Open(300));
  IPCHandler receiver;
  ASSERT_TRUE(receiver.Start(std::make_unique<NamedPipe>(name, IPC::ClientCallback)));
  testing::internal::CaptureStderr();
  host.reset();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const auto stopping = Clock::now();
  receiver.Stop();
  const auto stopTook = Clock::now() - stopping;
  const std::string log = testing::internal::GetCapturedStderr();
  // One failed reopen per 100 ms turn: about ten lines, where failing reopens one after
  // another would write hundreds.
  const auto lines = std::count(log.begin(), log.end(), '\n');
  EXPECT_GE(lines, 1);
  EXPECT_LE(lines, 25) << log;
  EXPECT_NE(log.find("Open : Client IPC object open failed"), std::string::npos) << log;
  EXPECT_LT(stopTook, std::chrono::seconds(2));
}

TEST(IPCHandlerLostHost, ACallbackReceiverFindsAHostThatComesBack) {
  const std::string name = UniqueName();
  auto host = std::make_unique<NamedPipe>(name, IPC::ServerCallback);
  ASSERT_TRUE(host->Open(300));
  struct Collector : IPC::BaseMessageProcessor {
    std::atomic<int> count{0};
    void ProcessCallbackMessage(const std::string&) override { ++count; }
  };
  auto collector = std::make_unique<Collector>();
  Collector* seen = collector.get();
  IPCHandler receiver(std::move(collector));
  ASSERT_TRUE(receiver.Start(std::make_unique<NamedPipe>(name, IPC::ClientCallback)));
  testing::internal::CaptureStderr();
  host.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  host = std::make_unique<NamedPipe>(name, IPC::ServerCallback);
  ASSERT_TRUE(host->Open(300));
  // The server waits up to the write's limit for its client to come back.
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (seen->count == 0 && Clock::now() < deadline) host->Write("{\"response\":{}}", 300);
  receiver.Stop();
  testing::internal::GetCapturedStderr();
  EXPECT_GE(seen->count, 1);
}

}  // namespace
