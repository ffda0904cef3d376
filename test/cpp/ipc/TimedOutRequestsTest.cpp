// Reading a message's request identifier off its text, and the bounded set of the
// identifiers of requests that timed out.
#include <gtest/gtest.h>

#include <string>

#include "ipc/RequestMessage.h"
#include "ipc/ResponseMessage.h"
#include "ipc/TimedOutRequests.h"

namespace {

using IPC::TimedOutRequests;

// The identifier found in text, or 0 when none is.
uint64_t Scan(const std::string& text) {
  uint64_t id = 0;
  return TimedOutRequests::ScanRequestId(text, id) ? id : 0;
}

std::string Request(uint64_t id) {
  return "{\"request\":{\"requestId\":" + std::to_string(id) + ",\"name\":\"f\"}}";
}

TEST(TimedOutRequestsScan, ReadsTheIdentifiersTheMessageWritersPut) {
  IPC::RequestMessage request("GetName", IPC::KvVariantMap(), 4);
  EXPECT_EQ(Scan(request.ToJSONString()), request.requestId);
  EXPECT_EQ(Scan(IPC::ResponseMessage(77, "x").ToJSONString()), 77u);
  EXPECT_EQ(Scan(IPC::ResponseMessage(0, "x").ToJSONString()), 0u);
  EXPECT_EQ(Scan(IPC::ResponseMessage::Success().ToJSONString()), UINT64_MAX);
  EXPECT_EQ(Scan("{\"response\":{\"status\":true,\"result\":1,\"requestId\":12}}"), 12u);
  EXPECT_EQ(Scan(" {\n \"response\" : { \"requestId\" :\t42 , \"status\":true } } "), 42u);
}

TEST(TimedOutRequestsScan, TakesOnlyAMemberOfTheInnerObject) {
  // Deeper, in a result table; at the outer level; as a string value; inside strings.
  EXPECT_EQ(Scan("{\"response\":{\"result\":{\"type\":\"table\",\"value\":{\"requestId\":5}},"
                 "\"requestId\":6}}"),
            6u);
  EXPECT_EQ(Scan("{\"requestId\":5,\"response\":{\"status\":true}}"), 0u);
  EXPECT_EQ(Scan("{\"response\":{\"result\":\"requestId\",\"x\":[\"requestId\",1]}}"), 0u);
  EXPECT_EQ(Scan("{\"response\":{\"result\":\"\\\"requestId\\\":5\"}}"), 0u);
  EXPECT_EQ(Scan("{\"response\":{\"result\":\"a\\\\\",\"requestId\":8}}"), 8u);
  EXPECT_EQ(Scan("{\"response\":[{\"requestId\":5}]}"), 0u);
  EXPECT_EQ(Scan("{\"response\":{}}{\"response\":{\"requestId\":5}}"), 0u);
  // The first member of the name counts, as for a parsed message.
  EXPECT_EQ(Scan("{\"response\":{\"requestId\":3,\"requestId\":4}}"), 3u);
}

TEST(TimedOutRequestsScan, RefusesValuesThatAreNotPlainUnsignedIntegers) {
  for (const char* value : {"-1", "1.5", "1e3", "\"7\"", "18446744073709551616", "null", ""}) {
    EXPECT_EQ(Scan(std::string("{\"response\":{\"requestId\":") + value + "}}"), 0u) << value;
  }
  EXPECT_EQ(Scan("{\"response\":{\"requestId\":18446744073709551615}}"), UINT64_MAX);
  for (const char* text : {"", "not json", "{\"response\":{\"requestId\"",
                           "{\"response\":{\"requestId\":", "{\"response\":{\"requestId\"5}}",
                           "[[\"requestId\",5]]"}) {
    EXPECT_EQ(Scan(text), 0u) << text;
  }
}

TEST(TimedOutRequests, AnswersOnlyResponsesToTheRequestsAdded) {
  TimedOutRequests timedOut;
  EXPECT_TRUE(timedOut.IsEmpty());
  EXPECT_FALSE(timedOut.Answers(IPC::ResponseMessage(5, "x").ToJSONString()));
  timedOut.Add("{\"request\":{\"name\":\"f\"}}");  // no identifier: nothing to keep
  EXPECT_TRUE(timedOut.IsEmpty());
  timedOut.Add(Request(5));
  timedOut.Add(Request(5));
  EXPECT_TRUE(timedOut.Answers(IPC::ResponseMessage(5, "x").ToJSONString()));
  EXPECT_FALSE(timedOut.Answers(IPC::ResponseMessage(6, "x").ToJSONString()));
  EXPECT_FALSE(timedOut.Answers("{\"response\":{\"status\":true,\"result\":5}}"));
  // A new request with the same identifier takes it back.
  timedOut.Forget(Request(5));
  EXPECT_TRUE(timedOut.IsEmpty());
}

TEST(TimedOutRequests, KeepsTheLatestIdentifiersUpToItsCapacity) {
  TimedOutRequests timedOut;
  const uint64_t count = TimedOutRequests::kCapacity + 3;
  for (uint64_t id = 1; id <= count; ++id) timedOut.Add(Request(id));
  for (uint64_t id = 1; id <= count; ++id) {
    const bool kept = id > count - TimedOutRequests::kCapacity;
    EXPECT_EQ(timedOut.Answers(IPC::ResponseMessage(id, "x").ToJSONString()), kept) << id;
  }
  timedOut.Forget(Request(count));
  EXPECT_FALSE(timedOut.Answers(IPC::ResponseMessage(count, "x").ToJSONString()));
  EXPECT_TRUE(timedOut.Answers(IPC::ResponseMessage(count - 1, "x").ToJSONString()));
}

}  // namespace
