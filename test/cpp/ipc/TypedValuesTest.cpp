// Tables, proxy descriptions and proxy references: their map forms and readers, and the
// wire codec that writes and reads them.
#include <gtest/gtest.h>

#include <string>

#include "ipc/ObjectType.h"
#include "ipc/ProxyInfo.h"
#include "ipc/ProxyRef.h"
#include "ipc/ResponseMessage.h"
#include "ipc/TableValue.h"
#include "ipc/WireCodec.h"
#include "variant/JsonView.h"

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
  // A peer's "value" that is no map is read into a map that is not valid, and written
  // back as it was read.
  IPC::TableValue odd;
  ASSERT_TRUE(odd.FromVariantMap(IPC::KvVariantMap(R"({"type":"proxyref","value":9})")));
  IPC::TableValue back;
  ASSERT_TRUE(back.FromVariantMap(odd.ToVariantMap()));
  EXPECT_EQ(back.value.ToJSONString(true), odd.value.ToJSONString(true));
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

namespace {

using IPC::WireValue;

WireValue DecodeMember(const std::string& text, const std::string& key) {
  const KvVariantMap map(text);
  return IPC::WireCodec::Decode(IPC::JsonView::Of(map).Find(key));
}

TEST(WireCodecTest, TablesRoundTripThroughTheOneEncoderAndDecoder) {
  IPC::WireMembers members;
  members.emplace_back("a", WireValue::Int(1));
  members.emplace_back("big", WireValue::Int(3000000000LL));
  members.emplace_back("s", WireValue::String("x"));
  members.emplace_back("r", WireValue::Reference(4));
  KvVariantMap map;
  IPC::WireCodec::Append(WireValue::Table(members, true), "0", map);
  EXPECT_EQ(map.ToJSONString(true),
            R"({"0":{"type":"table","value":{"a":1,"big":3000000000.0,"s":"x",)"
            R"("r":{"type":"proxyref","value":4}},"isList":true}})");
  const WireValue back = IPC::WireCodec::Decode(IPC::JsonView::Of(map).Find("0"));
  ASSERT_EQ(back.GetKind(), WireValue::Kind::Table);
  EXPECT_TRUE(back.IsList());
  ASSERT_EQ(back.Members().size(), 4u);
  EXPECT_EQ(back.Members()[1].second.AsNumber(), 3000000000.0);
  EXPECT_EQ(back.Members()[3].second.GetProxyId(), 4);
}

TEST(WireCodecTest, DecodingReadsAsEveryKeyedLookupOfTheMapDoes) {
  // A repeated name reads the value of its first member; a string stops at a zero byte.
  const WireValue table = DecodeMember(
      R"({"t":{"type":"table","value":{"k":1,"s":"a\u0000b","k":2}}})", "t");
  ASSERT_EQ(table.Members().size(), 3u);
  EXPECT_EQ(table.Members()[2].second.AsInt(), 1);
  EXPECT_EQ(table.Members()[1].second.AsString(), "a");
  // A bare array reads as its first element, marked as such; an empty one has no value.
  const WireValue fromArray = DecodeMember(R"({"v":[7,8]})", "v");
  EXPECT_EQ(fromArray.AsInt(), 7);
  EXPECT_TRUE(fromArray.CameFromArray());
  EXPECT_EQ(DecodeMember(R"({"v":[]})", "v").GetFault(), WireValue::Fault::NoValue);
  // Typed values without their parts keep what a reader needs to word its error.
  EXPECT_EQ(DecodeMember(R"({"v":{"type":"table"}})", "v").GetFault(),
            WireValue::Fault::TableNoValue);
  EXPECT_FALSE(DecodeMember(R"({"v":{"type":"table","value":"x"}})", "v").ValueIsMap());
  EXPECT_EQ(DecodeMember(R"({"v":{"type":"proxy"}})", "v").GetProxy(), nullptr);
  EXPECT_EQ(DecodeMember(R"({"v":{"kind":1}})", "v").GetFault(), WireValue::Fault::UnknownObject);
  EXPECT_EQ(DecodeMember(R"({"v":{"type":"proxyref","value":2147483648}})", "v").GetProxyId(), 0);
}

TEST(WireCodecTest, ACallbackMessageCarriesItsArgumentsAfterTheName) {
  IPC::ResponseMessage callback(0, std::string("Changed"));
  callback.args.emplace_back("0", WireValue::String("doc"));
  callback.args.emplace_back("1", WireValue::Bool(true));
  const std::string text = callback.ToJSONString();
  EXPECT_EQ(text, R"({"response":{"status":true,"result":"Changed","args":{"0":"doc","1":true}}})");
  IPC::ResponseMessage read;
  ASSERT_TRUE(read.FromJSONString(text));
  EXPECT_EQ(read.ResultValue().AsString(), "Changed");
  ASSERT_EQ(read.args.size(), 2u);
  EXPECT_EQ(read.args[0].second.AsString(), "doc");
  EXPECT_TRUE(read.args[1].second.AsBool());
}

}  // namespace
