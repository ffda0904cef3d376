// The handler's start, stop, queue and exchange rules, against an in-memory channel
// that can be made to fail on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "FakeChannel.h"
#include "ipc/IPCHandler.h"

namespace {

using IPC::IPCHandler;
using IPCTest::FakeChannelRecord;
using IPCTest::MakeFakeChannel;

std::shared_ptr<FakeChannelRecord> NewRecord() { return std::make_shared<FakeChannelRecord>(); }

TEST(IPCHandlerStart, RefusesAnAbsentNamelessOrModelessChannelWithOneLine) {
  IPCHandler handler;
  const std::string line =
      "IPC | Error | IPCHandler : Failed to start as IPC interface object is invalid\n";
  auto record = NewRecord();

  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.Start(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), line);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.Start(MakeFakeChannel("", IPC::ClientRequest, record)));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), line);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.Start(MakeFakeChannel("p", 0, record)));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), line);

  EXPECT_EQ(handler.GetChannel(), nullptr);
  EXPECT_EQ(record->opens, 0);
}

TEST(IPCHandlerStart, TheChannelAlreadyHeldIsOpenedOnce) {
  IPCHandler handler;
  auto record = NewRecord();
  auto channel = MakeFakeChannel("p", IPC::ClientRequest, record);
  IPC::IPCInterface* raw = channel.get();
  EXPECT_TRUE(handler.Start(std::move(channel)));
  EXPECT_TRUE(handler.Start(std::unique_ptr<IPC::IPCInterface>(raw)));
  EXPECT_EQ(record->opens, 1);
  EXPECT_EQ(handler.GetChannel(), raw);
}

TEST(IPCHandlerStart, AFailedOpenKeepsTheChannelAndStartsNoWorker) {
  IPCHandler handler;
  auto record = NewRecord();
  record->openSucceeds = false;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.Start(MakeFakeChannel("p", IPC::ClientCallback, record)));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(handler.GetChannel(), nullptr);
  EXPECT_FALSE(record->destroyed);
  // No worker reads the channel: the calling thread may still use it.
  std::string response;
  record->Deliver("late");
  EXPECT_TRUE(handler.SendRequest("x", response));
  EXPECT_EQ(response, "late");
}

TEST(IPCHandlerStart, ReplacingTheChannelOfARunningWorkerEndsThatWorkerFirst) {
  IPCHandler handler;
  auto first = NewRecord();
  auto second = NewRecord();
  ASSERT_TRUE(handler.Start(MakeFakeChannel("a", IPC::ServerRequest, first)));
  ASSERT_TRUE(handler.Start(MakeFakeChannel("b", IPC::ServerRequest, second)));
  EXPECT_TRUE(first->destroyed);
  // The new worker serves the new channel.
  testing::internal::CaptureStderr();
  second->Deliver("{}");
  ASSERT_TRUE(second->WaitForWrites(1));
  handler.Stop();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(second->destroyed);
}

TEST(IPCHandlerStop, AClientRequestChannelIsDestroyedAndTheHandlerCanStartAgain) {
  IPCHandler handler;
  auto record = NewRecord();
  handler.Stop();  // nothing held: harmless
  ASSERT_TRUE(handler.Start(MakeFakeChannel("p", IPC::ClientRequest, record)));
  handler.Stop();
  EXPECT_TRUE(record->destroyed);
  EXPECT_EQ(handler.GetChannel(), nullptr);
  auto again = NewRecord();
  EXPECT_TRUE(handler.Start(MakeFakeChannel("p", IPC::ClientRequest, again)));
  EXPECT_EQ(again->opens, 1);
}

TEST(IPCHandlerStart, AnInvalidModeIsLoggedAndGetsNoWorker) {
  IPCHandler handler;
  // Mode 7 opens (a fake accepts anything) but no role serves it.
  testing::internal::CaptureStderr();
  ASSERT_TRUE(handler.Start(MakeFakeChannel("odd", 7, NewRecord())));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "IPC | Error | IPCHandler : Invalid mode while starting thread for IPC communication "
            "(PluginId:odd) (Mode:7)\n");

  testing::internal::CaptureStderr();
  ASSERT_TRUE(handler.Start(MakeFakeChannel("req", IPC::ClientRequest, NewRecord())));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // mode 3 has no worker
}

TEST(IPCHandlerQueue, FailedWritesDropEachMessageInQueueOrder) {
  IPCHandler handler;
  auto record = NewRecord();
  record->writeSucceeds = false;
  handler.QueueMessage("first");
  handler.QueueMessage("second");
  ASSERT_TRUE(handler.Start(MakeFakeChannel("cb", IPC::ServerCallback, record)));
  handler.QueueMessage("third");
  ASSERT_TRUE(record->WaitForWrites(3));
  handler.Stop();
  EXPECT_EQ(record->written, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_TRUE(handler.IsQueueEmpty());
}

TEST(IPCHandlerSendRequest, ReadsWithTheAPITimeoutAndZeroMeansNoLimit) {
  IPCHandler handler;
  auto record = NewRecord();
  ASSERT_TRUE(handler.Start(MakeFakeChannel("p", IPC::ClientRequest, record)));
  EXPECT_EQ(handler.GetTimeout(), 0u);
  std::string response;
  record->Deliver("r1");
  EXPECT_TRUE(handler.SendRequest("q1", response));
  EXPECT_EQ(response, "r1");
  handler.SetTimeout(5000);
  EXPECT_EQ(handler.GetTimeout(), 5000u);
  record->Deliver("r2");
  EXPECT_TRUE(handler.SendRequest("q2", response));
  EXPECT_EQ(response, "r2");
  EXPECT_EQ(record->readLimits, (std::vector<uint32_t>{0xFFFFFFFFu, 5000u}));
  EXPECT_EQ(record->written, (std::vector<std::string>{"q1", "q2"}));
}

TEST(IPCHandlerSendRequest, AFailedWriteReturnsFalseWithoutReading) {
  IPCHandler handler;
  auto record = NewRecord();
  record->writeSucceeds = false;
  ASSERT_TRUE(handler.Start(MakeFakeChannel("p", IPC::ClientRequest, record)));
  std::string response = "stale";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.SendRequest("q", response));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(record->readLimits.empty());
  EXPECT_EQ(response, "");
}

TEST(IPCHandlerSendRequest, IsRefusedWithoutAChannelOrOnAWorkersChannel) {
  IPCHandler handler;
  std::string response;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.SendRequest("q", response));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("IPCHandler : "), std::string::npos);

  auto record = NewRecord();
  ASSERT_TRUE(handler.Start(MakeFakeChannel("cb", IPC::ClientCallback, record)));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(handler.SendRequest("q", response));
  handler.Stop();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("IPCHandler : "), std::string::npos);
  EXPECT_TRUE(record->written.empty());
}

// A processor that remembers the callback messages it was given.
class CountingProcessor : public IPC::BaseMessageProcessor {
 public:
  explicit CountingProcessor(std::shared_ptr<std::atomic<int>> count) : count_(std::move(count)) {}
  void ProcessCallbackMessage(const std::string&) override { ++*count_; }

 private:
  std::shared_ptr<std::atomic<int>> count_;
};

TEST(IPCHandlerLifetime, DestructionJoinsTheWorkerAndDeletesProcessorAndChannel) {
  auto count = std::make_shared<std::atomic<int>>(0);
  auto record = NewRecord();
  {
    IPCHandler handler(std::make_unique<CountingProcessor>(count));
    ASSERT_NE(dynamic_cast<CountingProcessor*>(handler.GetProcessor()), nullptr);
    ASSERT_TRUE(handler.Start(MakeFakeChannel("cb", IPC::ClientCallback, record)));
    record->Deliver("{}");
    for (int i = 0; i < 1000 && count->load() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(count->load(), 1);
  }
  EXPECT_TRUE(record->destroyed);
  EXPECT_EQ(count.use_count(), 1) << "the processor was deleted";
}

}  // namespace
