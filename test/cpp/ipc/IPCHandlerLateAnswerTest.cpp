// Answers that come after their request timed out, over a real channel: they are dropped
// with a log line instead of being taken for the answer to a later request.
#include <gtest/gtest.h>

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

const char kFailedLine[] =
    "IPC | Error | IPCHandler : Failed to read response after sending request\n";
const char kEarlyLine[] =
    "IPC | Error | IPCHandler : Discarded a message that arrived before the request\n";
const char kLateLine[] =
    "IPC | Error | IPCHandler : Discarded a late response to a timed-out request\n";

// Unique across the test processes that ctest runs side by side.
std::string UniqueName(const std::string& tag) {
  static const unsigned seed = std::random_device{}();
  static int counter = 0;
  return "hostlink_late_" + tag + "_" + std::to_string(seed) + "_" + std::to_string(counter++);
}

std::string Request(uint64_t id) {
  return "{\"request\":{\"requestId\":" + std::to_string(id) + ",\"name\":\"f\"}}";
}

std::string Answer(uint64_t id, const std::string& result) {
  return "{\"response\":{\"requestId\":" + std::to_string(id) + ",\"status\":true,\"result\":\"" +
         result + "\"}}";
}

// A host end driven by hand, and the plug-in's handler connected to it.
struct Connection {
  std::string name = UniqueName("c");
  NamedPipe host{name, IPC::ServerRequest};
  IPCHandler plugin;

  Connection() {
    EXPECT_TRUE(host.Open(300));
    EXPECT_TRUE(plugin.Start(std::make_unique<NamedPipe>(name, IPC::ClientRequest)));
  }

  // Sends request 1, which the host reads but does not answer in time.
  void TimeOut(const std::string& request) {
    plugin.SetTimeout(100);
    std::string response;
    EXPECT_FALSE(plugin.SendRequest(request, response));
    std::string received;
    EXPECT_TRUE(host.Read(received, 5000));
    EXPECT_EQ(received, request);
  }
};

TEST(IPCHandlerLateAnswers, AMessageWaitingBeforeTheRequestIsDroppedWithOneLine) {
  Connection connection;
  testing::internal::CaptureStderr();
  connection.TimeOut(Request(1001));
  // Two late messages, one without any identifier: both wait before request 2 is written.
  ASSERT_TRUE(connection.host.Write(Answer(1001, "late"), 300));
  ASSERT_TRUE(connection.host.Write("{\"response\":{\"status\":true,\"result\":\"late\"}}", 300));
  std::thread host([&] {
    std::string received;
    if (connection.host.Read(received, 10000)) connection.host.Write(Answer(1002, "two"), 300);
  });
  connection.plugin.SetTimeout(10000);
  std::string response;
  const bool answered = connection.plugin.SendRequest(Request(1002), response);
  host.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string(kFailedLine) + kEarlyLine + kEarlyLine);
  EXPECT_TRUE(answered);
  EXPECT_EQ(response, Answer(1002, "two"));
}

TEST(IPCHandlerLateAnswers, ALateAnswerArrivingAfterTheNextRequestIsPassedOver) {
  Connection connection;
  testing::internal::CaptureStderr();
  connection.TimeOut(Request(2001));
  // The host reads request 2 before it gets round to answering request 1.
  std::thread host([&] {
    std::string received;
    if (connection.host.Read(received, 10000)) {
      connection.host.Write(Answer(2001, "late"), 300);
      connection.host.Write(Answer(2002, "two"), 300);
    }
  });
  connection.plugin.SetTimeout(10000);
  std::string response;
  const bool answered = connection.plugin.SendRequest(Request(2002), response);
  host.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(kFailedLine) + kLateLine);
  EXPECT_TRUE(answered);
  EXPECT_EQ(response, Answer(2002, "two"));
}

TEST(IPCHandlerLateAnswers, AnswersWithoutOrWithOtherIdentifiersAreTakenAsBefore) {
  Connection connection;
  testing::internal::CaptureStderr();
  connection.TimeOut(Request(3001));
  const std::string anonymous = "{\"response\":{\"status\":true,\"result\":\"late\"}}";
  std::thread host([&] {
    std::string received;
    if (connection.host.Read(received, 10000)) connection.host.Write(anonymous, 300);
    if (connection.host.Read(received, 10000)) connection.host.Write(Answer(9, "other"), 300);
  });
  connection.plugin.SetTimeout(10000);
  std::string first;
  std::string second;
  const bool answered1 = connection.plugin.SendRequest(Request(3002), first);
  const bool answered2 = connection.plugin.SendRequest(Request(3003), second);
  host.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kFailedLine);
  EXPECT_TRUE(answered1);
  EXPECT_EQ(first, anonymous);
  EXPECT_TRUE(answered2);
  EXPECT_EQ(second, Answer(9, "other"));
}

TEST(IPCHandlerLateAnswers, TheWaitAfterADroppedAnswerEndsAtTheFirstLimit) {
  Connection connection;
  testing::internal::CaptureStderr();
  connection.TimeOut(Request(4001));
  // The late answer comes 1.5 s into a 2 s wait, and request 2 is never answered.
  std::thread host([&] {
    std::string received;
    if (connection.host.Read(received, 10000)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      connection.host.Write(Answer(4001, "late"), 300);
    }
  });
  connection.plugin.SetTimeout(2000);
  std::string response;
  const auto started = Clock::now();
  const bool answered = connection.plugin.SendRequest(Request(4002), response);
  const auto waited = Clock::now() - started;
  host.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string(kFailedLine) + kLateLine + kFailedLine);
  EXPECT_FALSE(answered);
  EXPECT_EQ(response, "");
  // Had the wait started again, it would have lasted 3.5 s.
  EXPECT_GE(waited, std::chrono::milliseconds(1990));
  EXPECT_LT(waited, std::chrono::milliseconds(3200));
}

TEST(IPCHandlerLateAnswers, AnAnswerInTimeIsNeverDropped) {
  Connection connection;
  testing::internal::CaptureStderr();
  connection.TimeOut(Request(5001));
  std::thread host([&] {
    std::string received;
    // Answers to the request just read; one carries the identifier of the timed-out one,
    // because it was built in the same millisecond.
    for (int i = 0; i < 3 && connection.host.Read(received, 10000); ++i) {
      connection.host.Write(received == Request(5001) ? Answer(5001, "same") : Answer(1, "x"), 300);
    }
  });
  connection.plugin.SetTimeout(10000);
  std::string responses[3];
  bool answered[3] = {};
  const std::string requests[3] = {Request(5002), Request(5001), Request(5003)};
  for (int i = 0; i < 3; ++i)
    answered[i] = connection.plugin.SendRequest(requests[i], responses[i]);
  host.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kFailedLine);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(answered[i]) << i;
  EXPECT_EQ(responses[1], Answer(5001, "same"));
}

}  // namespace

namespace {

// Fifteen calls time out; then call 5's answer arrives while call 16 waits. Only the last
// eight timed-out identifiers used to be remembered, so call 16 returned call 5's answer.
TEST(IPCHandlerLateAnswers, AnAnswerTenTimeoutsLateIsStillNotTakenForTheNextCall) {
  Connection connection;
  testing::internal::CaptureStderr();
  connection.plugin.SetTimeout(1);
  std::string response;
  for (uint64_t call = 1; call <= 15; ++call) {
    EXPECT_FALSE(connection.plugin.SendRequest(Request(4000 + call), response));
    EXPECT_EQ(connection.plugin.LastFailure(), IPC::ExchangeFailure::TimedOut);
    std::string received;
    ASSERT_TRUE(connection.host.Read(received, 5000));
  }
  std::thread host([&] {
    std::string received;
    if (connection.host.Read(received, 10000)) {
      connection.host.Write(Answer(4005, "five"), 300);
      connection.host.Write(Answer(4016, "sixteen"), 300);
    }
  });
  connection.plugin.SetTimeout(10000);
  const bool answered = connection.plugin.SendRequest(Request(4016), response);
  host.join();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(answered);
  EXPECT_EQ(response, Answer(4016, "sixteen"));
}

// A host that drops the connection after reading the request: the call fails at once
// (the answer can never come) instead of reconnecting inside its read and waiting.
TEST(IPCHandlerLostConnection, ARequestWhoseConnectionIsLostAfterTheWriteFailsAtOnce) {
  Connection connection;
  std::thread host([&] {
    std::string received;
    if (connection.host.Read(received, 10000)) connection.host.DropClient();
  });
  connection.plugin.SetTimeout(20000);
  testing::internal::CaptureStderr();
  const auto began = Clock::now();
  std::string response;
  const bool answered = connection.plugin.SendRequest(Request(5001), response);
  const auto took = Clock::now() - began;
  host.join();
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(answered);
  EXPECT_EQ(connection.plugin.LastFailure(), IPC::ExchangeFailure::ConnectionLost);
  EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace
