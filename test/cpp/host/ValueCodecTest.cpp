// The wire form of host values: what results look like, and how arguments read back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "host/HostObject.h"
#include "host/ValueCodec.h"
#include "ipc/WireCodec.h"
#include "ipc/WireWriter.h"
#include "variant/JsonTextBuilder.h"

namespace {

using Host::ErrorCode;
using Host::HostObject;
using Host::ObjectRegistry;
using Host::Value;
using Host::ValueCodec;
using Host::ValueList;
using Host::ValueMap;
using IPC::KvVariantMap;

class ValueCodecTest : public ::testing::Test {
 protected:
  // The compact JSON of {"r": value}.
  std::string Encoded(const Value& value) {
    KvVariantMap map;
    ValueCodec::Failure failure;
    EXPECT_TRUE(codec.Encode(value, map, "r", failure)) << failure.text;
    return map.ToJSONString(true);
  }

  ValueCodec::Failure EncodeFailure(const Value& value) {
    KvVariantMap map;
    ValueCodec::Failure failure;
    EXPECT_FALSE(codec.Encode(value, map, "r", failure));
    return failure;
  }

  ValueMap Decoded(const std::string& argsJson) {
    ValueMap members;
    ValueCodec::Failure failure;
    EXPECT_TRUE(codec.DecodeArguments(KvVariantMap(argsJson), members, failure)) << failure.text;
    return members;
  }

  ValueCodec::Failure DecodeFailure(const std::string& argsJson) {
    ValueMap members;
    ValueCodec::Failure failure;
    EXPECT_FALSE(codec.DecodeArguments(KvVariantMap(argsJson), members, failure));
    return failure;
  }

  ObjectRegistry registry;
  ValueCodec codec{registry};
};

TEST_F(ValueCodecTest, ScalarsTravelAsTheirJsonKinds) {
  EXPECT_EQ(Encoded(true), R"({"r":true})");
  EXPECT_EQ(Encoded(-5), R"({"r":-5})");
  EXPECT_EQ(Encoded(2.5), R"({"r":2.5})");
  EXPECT_EQ(Encoded("a\"b"), R"({"r":"a\"b"})");
  EXPECT_EQ(Encoded(Value()), "{}");
}

TEST_F(ValueCodecTest, IntegersBeyondThirtyTwoBitsTravelAsFloatingNumbers) {
  EXPECT_EQ(Encoded(int64_t{2147483647}), R"({"r":2147483647})");
  EXPECT_EQ(Encoded(int64_t{2147483648}), R"({"r":2147483648.0})");
  EXPECT_EQ(Encoded(int64_t{-2147483649}), R"({"r":-2147483649.0})");
  EXPECT_EQ(Encoded(uint64_t{18446744073709551615u}), R"({"r":18446744073709553000.0})");
}

TEST_F(ValueCodecTest, NumbersThatAreNotFiniteAreRefused) {
  EXPECT_EQ(EncodeFailure(std::nan("")).code, ErrorCode::BadResult);
  EXPECT_EQ(EncodeFailure(Value::List({1, std::numeric_limits<double>::infinity()})).code,
            ErrorCode::BadResult);
}

TEST_F(ValueCodecTest, MapsAndListsTravelAsTables) {
  EXPECT_EQ(
      Encoded(Value::Map({{"b", 1}, {"a", Value::List({"x", false})}})),
      R"({"r":{"type":"table","value":{"b":1,"a":{"type":"table","value":{"0":"x","1":false},"isList":true}}}})");
  EXPECT_EQ(Encoded(Value(ValueList{})), R"({"r":{"type":"table","value":{},"isList":true}})");
}

TEST_F(ValueCodecTest, ARepeatedNameReadsAsSetWouldLeaveIt) {
  // A scalar replaces the earlier value in its place; a table moves the name to the end.
  const Value table = Value::List({1});
  EXPECT_EQ(Encoded(Value::Map({{"a", 1}, {"b", 2}, {"a", 3}})),
            R"({"r":{"type":"table","value":{"a":3,"b":2}}})");
  EXPECT_EQ(
      Encoded(Value::Map({{"a", 1}, {"b", 2}, {"a", table}})),
      R"({"r":{"type":"table","value":{"b":2,"a":{"type":"table","value":{"0":1},"isList":true}}}})");
  // The same in a table large enough to be checked by hashing.
  ValueMap many;
  for (int i = 0; i < 40; ++i) {
    many.emplace_back("k" + std::to_string(i % 30), i);
  }
  std::string expected = R"({"r":{"type":"table","value":{)";
  for (int i = 0; i < 30; ++i) {
    expected +=
        (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(i < 10 ? i + 30 : i);
  }
  EXPECT_EQ(Encoded(Value(many)), expected + "}}}");
}

TEST_F(ValueCodecTest, ObjectsAreRegisteredAndTravelAsProxyDescriptions) {
  auto object = std::make_shared<HostObject>("Document");
  object->Define("GetTitle", nullptr).Define("Close", nullptr);
  EXPECT_EQ(
      Encoded(object),
      R"({"r":{"type":"proxy","value":{"proxyId":1,"uniqueId":"Document-1","name":"Document","functions":["GetTitle","Close"]}}})");
  EXPECT_EQ(registry.Find(1), object);
  // The same object keeps its identifier.
  EXPECT_EQ(
      Encoded(Value::List({object})),
      R"({"r":{"type":"table","value":{"0":{"type":"proxy","value":{"proxyId":1,"uniqueId":"Document-1","name":"Document","functions":["GetTitle","Close"]}}},"isList":true}})");
}

TEST_F(ValueCodecTest, ValuesWithoutAWireFormAreRefused) {
  EXPECT_EQ(EncodeFailure(Value::Map({{"gap", Value()}})).code, ErrorCode::BadResult);
  EXPECT_EQ(EncodeFailure(std::make_shared<HostObject>("")).code, ErrorCode::BadResult);
  Value deep = 1;
  for (int i = 0; i <= ValueCodec::kMaxDepth; ++i) {
    deep = Value::List({deep});
  }
  EXPECT_EQ(EncodeFailure(deep).code, ErrorCode::BadResult);
}

TEST_F(ValueCodecTest, ArgumentsReadBackInOrderWithTheirKinds) {
  auto object = std::make_shared<HostObject>("Shape");
  const int64_t id = registry.Register(object);
  const ValueMap args = Decoded(
      R"({"0":true,"1":2,"2":2.5,"3":"s","4":{"type":"table","value":{"a":1,"b":{"type":"table","value":{"c":"x"}}}},)"
      R"("5":{"type":"table","value":{"q":1,"p":2},"isList":true},"6":{"type":"proxyref","value":)" +
      std::to_string(id) + R"(},"7":9007199254740993,"8":18446744073709551615})");
  ASSERT_EQ(args.size(), 9u);
  EXPECT_EQ(args[0].second, Value(true));
  EXPECT_EQ(args[1].second, Value(2));
  EXPECT_EQ(args[2].second, Value(2.5));
  EXPECT_EQ(args[3].second, Value("s"));
  EXPECT_EQ(args[4].second, Value::Map({{"a", 1}, {"b", Value::Map({{"c", "x"}})}}));
  EXPECT_EQ(args[5].second, Value::List({1, 2}));
  EXPECT_EQ(args[6].second.AsObject(), object);
  EXPECT_EQ(args[7].second, Value(int64_t{9007199254740993}));
  EXPECT_EQ(args[8].second, Value(18446744073709551615.0));
}

TEST_F(ValueCodecTest, AnEncodedValueDecodesToItself) {
  const Value value =
      Value::Map({{"name", "n"}, {"items", Value::List({1, 2.5, Value::Map({{"deep", true}})})}});
  KvVariantMap map;
  ValueCodec::Failure failure;
  ASSERT_TRUE(codec.Encode(value, map, "0", failure));
  Value back;
  ASSERT_TRUE(codec.Decode(map, "0", "0", back, failure)) << failure.text;
  EXPECT_EQ(back, value);
}

TEST_F(ValueCodecTest, AReferenceToNoRegisteredObjectIsStale) {
  auto object = std::make_shared<HostObject>("Shape");
  const int64_t id = registry.Register(object);
  registry.Unregister(id);
  const auto failure =
      DecodeFailure(R"({"0":{"type":"table","value":{"s":{"type":"proxyref","value":)" +
                    std::to_string(id) + "}}}}");
  EXPECT_EQ(failure.code, ErrorCode::StaleReference);
  EXPECT_EQ(failure.text, "Argument 0.s refers to object 1, which does not exist");
}

TEST_F(ValueCodecTest, UnreadableArgumentsAreRefusedWithTheirPosition) {
  EXPECT_EQ(DecodeFailure(R"({"0":null})").text, "Argument 0 has no value the host can read");
  EXPECT_EQ(DecodeFailure(R"({"0":1,"1":[1,2]})").text,
            "Argument 1 is a bare array; lists travel as tables");
  EXPECT_EQ(DecodeFailure(R"({"0":{"a":1}})").text, "Argument 0 is an object of no known type");
  EXPECT_EQ(DecodeFailure(R"({"0":{"type":"proxy","value":{"proxyId":1}}})").text,
            "Argument 0 is an object of no known type");
  EXPECT_EQ(DecodeFailure(R"({"0":{"type":"proxyref","value":0}})").text,
            "Argument 0 is an invalid object reference");
  EXPECT_EQ(DecodeFailure(R"({"0":{"type":"table","value":7}})").text,
            "Argument 0 is a table without a value");
  EXPECT_EQ(DecodeFailure(R"({"0":{"type":"table"}})").code, ErrorCode::BadArgument);
}

TEST_F(ValueCodecTest, TablesNestedTooDeeplyAreRefused) {
  std::string text = "1";
  for (int i = 0; i <= ValueCodec::kMaxDepth; ++i) {
    text = R"({"type":"table","value":{"a":)" + text + "}}";
  }
  const auto failure = DecodeFailure(R"({"0":)" + text + "}");
  EXPECT_EQ(failure.code, ErrorCode::BadArgument);
  EXPECT_NE(failure.text.find("nested more than 64 tables deep"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(ValueCodecTest, AnObjectWithNoFunctionsIsNeitherSentNorRegistered) {
  auto empty = std::make_shared<HostObject>("Blank");
  const ValueCodec::Failure failure = EncodeFailure(Value::Map({{"o", empty}}));
  EXPECT_EQ(failure.code, ErrorCode::BadResult);
  EXPECT_NE(failure.text.find("Blank"), std::string::npos) << failure.text;
  EXPECT_EQ(empty->GetProxyId(), 0);
  EXPECT_EQ(registry.Find(1), nullptr);
}

TEST_F(ValueCodecTest, CallbackArgumentsAreKeyedByPositionAndEncodedAsResultsAre) {
  auto object = std::make_shared<HostObject>("Shape");
  object->Define("Move", nullptr);
  std::string text;
  IPC::JsonTextBuilder sink(text);
  IPC::WireWriter out(sink);
  ValueCodec::Failure failure;
  ASSERT_TRUE(codec.EncodeArguments({object, "moved", 3000000000LL}, out, failure))
      << failure.text;
  EXPECT_EQ(
      text,
      R"({"0":{"type":"proxy","value":{"proxyId":1,"uniqueId":"Shape-1","name":"Shape","functions":["Move"]}},"1":"moved","2":3000000000.0})");
  std::string refused;
  IPC::JsonTextBuilder refusedSink(refused);
  IPC::WireWriter refusedOut(refusedSink);
  EXPECT_FALSE(codec.EncodeArguments({Value(std::nan(""))}, refusedOut, failure));
}

}  // namespace
