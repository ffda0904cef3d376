// The response's wire text, its constructors, its reader and its error suffix.
#include <gtest/gtest.h>

#include <string>

#include "ipc/ResponseMessage.h"

namespace {

using IPC::KvVariantMap;
using IPC::ResponseMessage;

TEST(ResponseMessageWrite, PlainSuccessHasNoIdentifierAndResultTrue) {
  EXPECT_EQ(ResponseMessage::Success().ToJSONString(),
            "{\"response\":{\"requestId\":18446744073709551615,\"status\":true,\"result\":true}}");
}

TEST(ResponseMessageWrite, ADefaultResponseIsAFailureWithNothingElse) {
  ResponseMessage response;
  EXPECT_FALSE(response.status);
  EXPECT_EQ(response.errorCode, -1);
  EXPECT_TRUE(response.result.IsEmpty());
  EXPECT_EQ(response.ToJSONString(),
            "{\"response\":{\"requestId\":18446744073709551615,\"status\":false}}");
}

TEST(ResponseMessageWrite, SuccessWithoutAResultWritesOnlyIdAndStatus) {
  ResponseMessage response;
  response.status = true;
  response.requestId = 42;
  EXPECT_EQ(response.ToJSONString(), "{\"response\":{\"requestId\":42,\"status\":true}}");
  response.requestId = 0;
  EXPECT_EQ(response.ToJSONString(), "{\"response\":{\"status\":true}}");
}

TEST(ResponseMessageWrite, SuccessCarriesATextOrAMapAsResult) {
  EXPECT_EQ(ResponseMessage(9, std::string("cb")).ToJSONString(),
            "{\"response\":{\"requestId\":9,\"status\":true,\"result\":\"cb\"}}");
  KvVariantMap map;
  map.Set("type", "proxyref");
  map.Set("value", int64_t{3});
  EXPECT_EQ(ResponseMessage(9, map).ToJSONString(),
            "{\"response\":{\"requestId\":9,\"status\":true,\"result\":{\"type\":\"proxyref\","
            "\"value\":3}}}");
}

TEST(ResponseMessageWrite, ErrorMembersFollowTheOmissionRules) {
  EXPECT_EQ(ResponseMessage(1, "x", -1).ToJSONString(),
            "{\"response\":{\"requestId\":1,\"status\":false,\"error\":{\"errorStr\":\"x\"}}}");
  EXPECT_EQ(ResponseMessage(1, "x", 5).ToJSONString(),
            "{\"response\":{\"requestId\":1,\"status\":false,\"error\":{\"errorStr\":\"x\","
            "\"errorCode\":5}}}");
  // No text, no error object, even with a code.
  EXPECT_EQ(ResponseMessage(1, "", 5).ToJSONString(),
            "{\"response\":{\"requestId\":1,\"status\":false}}");
  // A result is only written on success, an error only on failure.
  ResponseMessage mixed(1, std::string("r"));
  mixed.errorStr = "e";
  EXPECT_EQ(mixed.ToJSONString(),
            "{\"response\":{\"requestId\":1,\"status\":true,\"result\":\"r\"}}");
  mixed.status = false;
  EXPECT_EQ(mixed.ToJSONString(),
            "{\"response\":{\"requestId\":1,\"status\":false,\"error\":{\"errorStr\":\"e\"}}}");
}

TEST(ResponseMessageRead, TakesTheResultWhateverItsType) {
  ResponseMessage response;
  ASSERT_TRUE(response.FromJSONString("{\"response\":{\"status\":true,\"result\":5}}"));
  EXPECT_TRUE(response.status);
  EXPECT_EQ(response.result.ToJSONString(true), "{\"result\":5}");

  ASSERT_TRUE(response.FromJSONString(
      "{\"response\":{\"requestId\":7,\"status\":true,\"result\":{\"a\":[1,2]}}}"));
  EXPECT_EQ(response.requestId, 7u);
  EXPECT_EQ(response.result.ToJSONString(true), "{\"result\":{\"a\":[1,2]}}");
}

TEST(ResponseMessageRead, SuccessWithoutResultLeavesTheMapEmpty) {
  ResponseMessage response;
  ASSERT_TRUE(response.FromJSONString("{\"response\":{\"status\":true}}"));
  EXPECT_TRUE(response.status);
  EXPECT_TRUE(response.result.IsEmpty());
}

TEST(ResponseMessageRead, AnEmptyResponseIsAFailureWithoutErrorText) {
  ResponseMessage response;
  ASSERT_TRUE(response.FromJSONString("{\"response\":{}}"));
  EXPECT_FALSE(response.status);
  EXPECT_EQ(response.errorStr, "");
  EXPECT_EQ(response.errorCode, -1);
  EXPECT_EQ(response.FormatError(), "");
}

TEST(ResponseMessageRead, ReadsTheErrorOfAFailure) {
  ResponseMessage response;
  ASSERT_TRUE(
      response.FromJSONString("{\"response\":{\"requestId\":3,\"status\":false,\"result\":1,"
                              "\"error\":{\"errorStr\":\"bad\",\"errorCode\":-9}}}"));
  EXPECT_FALSE(response.status);
  EXPECT_TRUE(response.result.IsEmpty()) << "a failure's result is not read";
  EXPECT_EQ(response.errorStr, "bad");
  EXPECT_EQ(response.errorCode, -9);
  EXPECT_EQ(response.FormatError(), " (errorStr:bad) (errorCode:-9)");
}

TEST(ResponseMessageRead, RoundTripsEveryConstructor) {
  for (const ResponseMessage& written :
       {ResponseMessage::Success(), ResponseMessage(5, std::string("t")),
        ResponseMessage(6, "e", 2)}) {
    ResponseMessage read;
    ASSERT_TRUE(read.FromJSONString(written.ToJSONString()));
    EXPECT_EQ(read.ToJSONString(), written.ToJSONString());
  }
}

TEST(ResponseMessageRead, RefusesOtherTextsAndLogsTheMissingMember) {
  ResponseMessage response;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(response.FromJSONString("{\"request\":{}}"));
  const std::string missing = testing::internal::GetCapturedStderr();
  EXPECT_NE(missing.find("response"), std::string::npos) << missing;

  testing::internal::CaptureStderr();
  EXPECT_FALSE(response.FromJSONString("{\"response\":5}"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  testing::internal::CaptureStderr();
  EXPECT_FALSE(response.FromJSONString("{oops"));
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "IPC | Error | KvVariantMap : JSON parse failed\n"),
            std::string::npos);
  EXPECT_FALSE(response.status);
}

TEST(ResponseMessageFormatError, EachPartStartsWithABlank) {
  ResponseMessage response;
  response.errorStr = "a";
  response.errorCode = 0;
  EXPECT_EQ(response.FormatError(), " (errorStr:a) (errorCode:0)");
  response.errorStr = "";
  response.errorCode = -7;
  EXPECT_EQ(response.FormatError(), " (errorCode:-7)");
  response.errorStr = "x";
  response.errorCode = -1;
  EXPECT_EQ(response.FormatError(), " (errorStr:x)");
}

}  // namespace
