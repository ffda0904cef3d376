// The request's wire text: member order, omission rules and reading back.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ipc/RequestMessage.h"

namespace {

using IPC::KvVariantMap;
using IPC::RequestMessage;

TEST(RequestMessageWrite, ADefaultRequestWritesAnEmptyObject) {
  EXPECT_EQ(RequestMessage().ToJSONString(), "{\"request\":{}}");
}

TEST(RequestMessageWrite, WithoutArgumentsOrProxyOnlyIdAndNameAreWritten) {
  RequestMessage request("GetKestrel", KvVariantMap(), -1);
  EXPECT_EQ(request.ToJSONString(),
            "{\"request\":{\"requestId\":" + std::to_string(request.requestId) +
                ",\"name\":\"GetKestrel\"}}");
}

TEST(RequestMessageWrite, AMethodCallCarriesArgsThenProxyId) {
  KvVariantMap args;
  args.Set("0", "x");
  RequestMessage request("Execute", args, 7);
  request.requestId = 1700000000123ull;
  EXPECT_EQ(request.ToJSONString(),
            "{\"request\":{\"requestId\":1700000000123,\"name\":\"Execute\",\"args\":{\"0\":\"x\"},"
            "\"proxyId\":7}}");
}

TEST(RequestMessageWrite, ProxyZeroIsWrittenAndNegativeProxiesAreNot) {
  RequestMessage request;
  request.proxyId = 0;
  EXPECT_EQ(request.ToJSONString(), "{\"request\":{\"proxyId\":0}}");
  request.proxyId = -1;
  EXPECT_EQ(request.ToJSONString(), "{\"request\":{}}");
  request.proxyId = -5;
  EXPECT_EQ(request.ToJSONString(), "{\"request\":{}}");
}

TEST(RequestMessageWrite, IdentifiersAreMillisecondTimeStamps) {
  using namespace std::chrono;
  const auto now = [] {
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
  };
  // Built within one millisecond, two requests carry the same time stamp.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint64_t before = now();
    RequestMessage x("x", KvVariantMap(), -1);
    RequestMessage y("y", KvVariantMap(), -1);
    if (now() == before) {
      EXPECT_EQ(x.requestId, before);
      EXPECT_EQ(y.requestId, before);
      return;
    }
  }
  GTEST_SKIP() << "the clock ticked over on every attempt";
}

TEST(RequestMessageRead, ReadsEveryWrittenField) {
  KvVariantMap args;
  args.Set("0", int32_t{5});
  args.Set("1", "y");
  RequestMessage written("Fn", args, 12);
  RequestMessage read;
  ASSERT_TRUE(read.FromJSONString(written.ToJSONString()));
  EXPECT_EQ(read.requestId, written.requestId);
  EXPECT_EQ(read.name, "Fn");
  EXPECT_EQ(read.args.ToJSONString(true), "{\"0\":5,\"1\":\"y\"}");
  EXPECT_EQ(read.proxyId, 12);
}

TEST(RequestMessageRead, AbsentMembersKeepTheFieldsAndOtherKindsAreRefused) {
  RequestMessage read("kept", KvVariantMap(), 3);
  const uint64_t id = read.requestId;
  ASSERT_TRUE(read.FromJSONString("{\"request\":{}}"));
  EXPECT_EQ(read.requestId, id);
  EXPECT_EQ(read.name, "kept");
  EXPECT_EQ(read.proxyId, 3);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(read.FromJSONString("{\"response\":{}}"));
  EXPECT_FALSE(read.FromJSONString("{\"request\":5}"));
  EXPECT_FALSE(read.FromJSONString("not json"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(read.name, "kept");
}

}  // namespace
