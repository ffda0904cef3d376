// Tables, proxy descriptions and proxy references: their map forms and readers.
#include <gtest/gtest.h>

#include <string>

#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/TableValue.h"

namespace {

using IPC::GetObjectType;
using IPC::KvVariantMap;
using IPC::ObjectType;

KvVariantMap Parse(const std::string& text) { return KvVariantMap(text); }

TEST(ObjectTypeTest, NamesAreMatchedExactly) {
  EXPECT_EQ(GetObjectType(Parse("{\"type\":\"table\"}")), ObjectType::Table);
  EXPECT_EQ(GetObjectType(Parse("{\"type\":\"proxy\"}")), ObjectType::Proxy);
  EXPECT_EQ(GetObjectType(Parse("{\"type\":\"proxyref\"}")), ObjectType::ProxyRef);
  EXPECT_EQ(GetObjectType(Parse("{\"type\":\"Table\"}")), ObjectType::Unknown);
  EXPECT_EQ(GetObjectType(Parse("{\"type\":\"\"}")), ObjectType::Unknown);
  EXPECT_EQ(static_cast<int>(ObjectType::Unknown), -1);
  EXPECT_EQ(static_cast<int>(ObjectType::ProxyRef), 2);

  testing::internal::CaptureStderr();
  EXPECT_EQ(GetObjectType(Parse("{}")), ObjectType::Unknown);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("missing key:type"), std::string::npos)
      << "the map reports the missing member";
}

TEST(TableValueTest, IsListIsWrittenOnlyWhenSet) {
  IPC::TableValue table;
  table.value.Set("a", int32_t{1});
  EXPECT_EQ(table.ToVariantMap().ToJSONString(true), "{\"type\":\"table\",\"value\":{\"a\":1}}");
  table.isList = true;
  EXPECT_EQ(table.ToVariantMap().ToJSONString(true),
            "{\"type\":\"table\",\"value\":{\"a\":1},\"isList\":true}");
}

TEST(TableValueTest, ReadsBackWhatItWrote) {
  for (bool isList : {false, true}) {
    IPC::TableValue written;
    written.isList = isList;
    written.value.Set("0", "x");
    written.value.Set("1", int32_t{2});
    IPC::TableValue read;
    read.isList = !isList;
    ASSERT_TRUE(read.FromVariantMap(written.ToVariantMap()));
    EXPECT_EQ(read.isList, isList);
    EXPECT_EQ(read.value.ToJSONString(true), "{\"0\":\"x\",\"1\":2}");
  }
}

TEST(TableValueTest, ANonTableWithoutValueIsRefused) {
  IPC::TableValue read;
  EXPECT_FALSE(read.FromVariantMap(Parse("{\"type\":\"table\"}")));
  // The reader leaves the type to the caller.
  EXPECT_TRUE(read.FromVariantMap(Parse("{\"type\":\"other\",\"value\":{}}")));
}

TEST(ProxyInfoTest, WritesItsMembersInOrder) {
  IPC::ProxyInfo info;
  info.proxyId = 4;
  info.uniqueId = "u-4";
  info.name = "Document";
  info.functions = {"Open", "Close"};
  EXPECT_EQ(
      info.ToVariantMap().ToJSONString(true),
      "{\"type\":\"proxy\",\"value\":{\"proxyId\":4,\"uniqueId\":\"u-4\",\"name\":\"Document\","
      "\"functions\":[\"Open\",\"Close\"]}}");
  IPC::ProxyInfo read;
  ASSERT_TRUE(read.FromVariantMap(info.ToVariantMap()));
  EXPECT_EQ(read.proxyId, 4);
  EXPECT_EQ(read.uniqueId, "u-4");
  EXPECT_EQ(read.name, "Document");
  EXPECT_EQ(read.functions, info.functions);
}

TEST(ProxyInfoTest, IdentifierZeroReadsAndNothingIsValidatedHere) {
  IPC::ProxyInfo read;
  ASSERT_TRUE(read.FromVariantMap(
      Parse("{\"value\":{\"proxyId\":0,\"uniqueId\":\"\",\"name\":\"\",\"functions\":[]}}")));
  EXPECT_EQ(read.proxyId, 0);
  EXPECT_EQ(read.name, "");
  EXPECT_TRUE(read.functions.empty());
  EXPECT_FALSE(read.FromVariantMap(Parse("{\"type\":\"proxy\"}")));
}

TEST(ProxyRefTest, WritesTheIdentifierAsValue) {
  IPC::ProxyRef ref;
  ref.proxyId = 7;
  EXPECT_EQ(ref.ToVariantMap().ToJSONString(true), "{\"type\":\"proxyref\",\"value\":7}");
  IPC::ProxyRef read;
  ASSERT_TRUE(read.FromVariantMap(ref.ToVariantMap()));
  EXPECT_EQ(read.proxyId, 7);
}

TEST(ProxyRefTest, NeedsItsTypeAndAPositiveIdentifier) {
  IPC::ProxyRef read;
  EXPECT_FALSE(read.FromVariantMap(Parse("{\"type\":\"proxyref\",\"value\":0}")));
  EXPECT_FALSE(read.FromVariantMap(Parse("{\"type\":\"proxyref\",\"value\":-3}")));
  EXPECT_FALSE(read.FromVariantMap(Parse("{\"type\":\"proxy\",\"value\":3}")));
  EXPECT_FALSE(read.FromVariantMap(Parse("{\"type\":\"proxyref\"}")));
  EXPECT_TRUE(read.FromVariantMap(Parse("{\"type\":\"proxyref\",\"value\":2147483647}")));
  EXPECT_EQ(read.proxyId, 2147483647);
}

}  // namespace
