// The JSON text of a variant map: both layouts, parsing rules, and the guards against
// hostile text (deep nesting, huge exponents) and non-finite numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "variant/KvVariantMap.h"
#include "variant/LogCapture.h"

namespace {

using IPC::KvVariantMap;
using VariantTest::ErrorLine;
using VariantTest::LogOf;

const std::string kParseFailed = ErrorLine("KvVariantMap : JSON parse failed");

KvVariantMap MessageLike() {
  KvVariantMap args;
  args.Set("a", 1);
  KvVariantMap map;
  map.Set("name", "Execute");
  map.Set("args", args);
  return map;
}

std::string Nested(std::size_t levels) {
  return std::string(levels, '[') + std::string(levels, ']');
}

TEST(VariantJsonLayout, CompactHasNoWhiteSpace) {
  EXPECT_EQ(MessageLike().ToJSONString(true), R"({"name":"Execute","args":{"a":1}})");
}

TEST(VariantJsonLayout, IndentedUsesFourBlanksPerLevel) {
  EXPECT_EQ(MessageLike().ToJSONString(false),
            "{\n"
            "    \"name\": \"Execute\",\n"
            "    \"args\": {\n"
            "        \"a\": 1\n"
            "    }\n"
            "}");
  KvVariantMap lists(R"({"l":[1,[],{}],"e":{}})");
  EXPECT_EQ(lists.ToJSONString(false),
            "{\n    \"l\": [\n        1,\n        [],\n        {}\n    ],\n    \"e\": {}\n}");
}

TEST(VariantJsonLayout, NumbersKeepTheirKind) {
  KvVariantMap map;
  map.Set("d", 1.0);
  map.Set("i", 1);
  map.Set("f", 0.1f);
  map.Set("big", 1e30);
  map.Set("neg", int64_t{-9223372036854775807LL - 1});
  map.Set("u", std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(map.ToJSONString(true), R"({"d":1.0,"i":1,"f":0.10000000149011612,"big":1e30,)"
                                    R"("neg":-9223372036854775808,"u":18446744073709551615})");
}

TEST(VariantJsonLayout, EmptyMapIsBracesInBothLayouts) {
  EXPECT_EQ(KvVariantMap().ToJSONString(true), "{}");
  EXPECT_EQ(KvVariantMap().ToJSONString(false), "{}");
}

TEST(VariantJsonLayout, StringsEscapeOnlyWhatJsonRequires) {
  KvVariantMap map;
  map.Set("s", std::string("line\nquote\"back\\tab\t\x01"));
  map.Set("u", "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
  EXPECT_EQ(map.ToJSONString(true),
            "{\"s\":\"line\\nquote\\\"back\\\\tab\\t\\u0001\",\"u\":\"gr\xC3\xBC\xC3\x9F "
            "\xE2\x82\xAC\"}");
}

TEST(VariantJsonLayout, NonFiniteNumbersAreWrittenAsNull) {
  KvVariantMap map;
  map.Set("nan", std::nan(""));
  map.Set("inf", std::numeric_limits<double>::infinity());
  map.Set("list", std::vector<double>{1.5, -std::numeric_limits<double>::infinity()});
  map.Set("after", 2);
  EXPECT_EQ(map.ToJSONString(true), R"({"nan":null,"inf":null,"list":[1.5,null],"after":2})");
  const std::string indented = map.ToJSONString(false);
  EXPECT_EQ(indented,
            "{\n    \"nan\": null,\n    \"inf\": null,\n    \"list\": [\n        1.5,\n"
            "        null\n    ],\n    \"after\": 2\n}");
  EXPECT_TRUE(KvVariantMap(indented).IsValid()) << "the output parses back";
}

TEST(VariantJsonLayout, AppendKeepsWhatTheBufferHeld) {
  std::string out = "prefix:";
  MessageLike().AppendJSONString(out, true);
  EXPECT_EQ(out, R"(prefix:{"name":"Execute","args":{"a":1}})");
  KvVariantMap("[1]").AppendJSONString(out, true);
  EXPECT_EQ(out, R"(prefix:{"name":"Execute","args":{"a":1}})");
}

TEST(VariantJsonParse, RoundTripKeepsOrderKindsAndValues) {
  const std::string text =
      R"({"z":1,"a":-2.5,"s":"x\u00e9\ud83d\ude00","b":false,"n":null,"l":[1,"two",{"k":[]}],)"
      R"("m":{"inner":{"deep":true}},"big":18446744073709551615})";
  KvVariantMap map(text);
  EXPECT_EQ(map.ToJSONString(true),
            "{\"z\":1,\"a\":-2.5,\"s\":\"x\xC3\xA9\xF0\x9F\x98\x80\",\"b\":false,\"n\":null,"
            "\"l\":[1,\"two\",{\"k\":[]}],\"m\":{\"inner\":{\"deep\":true}},"
            "\"big\":18446744073709551615}");
  EXPECT_EQ(KvVariantMap(map.ToJSONString(false)).ToJSONString(true), map.ToJSONString(true));
}

TEST(VariantJsonParse, DoublesReadBackBitForBit) {
  // The nearest double to the text: the normal-precision reading is one step off for
  // about a third of these.
  std::mt19937_64 random(22);
  int changed = 0;
  std::string first;
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    KvVariantMap map;
    map.Set("d", d);
    const std::string text = map.ToJSONString(true);
    const double back = KvVariantMap(text).GetDouble("d");
    if (std::memcmp(&back, &d, sizeof d) != 0 && changed++ == 0) first = text;
  }
  EXPECT_EQ(changed, 0) << "first: " << first;
  // Shorter texts, as people write them (up to 15 digits, scaled by up to 10^22 either
  // way), read as the nearest double too.
  std::uniform_int_distribution<int> digits(1, 17);
  std::uniform_int_distribution<int> scale(-40, 40);
  for (int i = 0; i < 100000; ++i) {
    std::string number = std::to_string(random() % 100000000000000000ull);
    number.resize(std::min<size_t>(number.size(), static_cast<size_t>(digits(random))));
    const size_t point = random() % (number.size() + 1);
    if (point < number.size()) number.insert(point == 0 ? 0 : point, point == 0 ? "0." : ".");
    number += "e" + std::to_string(scale(random));
    const double expected = std::strtod(number.c_str(), nullptr);
    const double back = KvVariantMap("{\"d\":" + number + "}").GetDouble("d");
    ASSERT_TRUE(std::memcmp(&back, &expected, sizeof back) == 0) << number << " read as " << back;
  }
  // Texts longer than a double's digits round to the nearest, halfway to even.
  for (const auto& [text, value] :
       {std::pair<const char*, double>{"0.1000000000000000055511151231257827021181583404541015625", 0.1},
        {"9007199254740993.0", 9007199254740992.0},
        {"9007199254740995.0", 9007199254740996.0},
        {"2.4703282292062328e-324", 4.9406564584124654e-324},
        {"0.30000000000000004", 0.1 + 0.2}}) {
    const double back = KvVariantMap(std::string("{\"d\":") + text + "}").GetDouble("d");
    EXPECT_TRUE(std::memcmp(&back, &value, sizeof back) == 0) << text << " read as " << back;
  }
}

TEST(VariantJsonParse, WhiteSpaceAroundTheValueIsAllowed) {
  KvVariantMap map;
  EXPECT_EQ(LogOf([&] { map.FromJSONString(" \t\r\n{ }\n "); }), "");
  EXPECT_TRUE(map.IsValid());
  EXPECT_TRUE(map.IsEmpty());
}

TEST(VariantJsonParse, FailuresLogOnceAndKeepTheContent) {
  KvVariantMap map(R"({"kept":1})");
  for (const char* bad :
       {"{}x", "", "   ", "{\"a\":1,}", "{'a':1}", "{\"a\":NaN}", "[1] // c", "{\"a\":1"}) {
    EXPECT_EQ(LogOf([&] { map.FromJSONString(bad); }), kParseFailed) << bad;
    EXPECT_EQ(map.ToJSONString(true), R"({"kept":1})") << bad;
  }
  std::string constructed;
  EXPECT_EQ(LogOf([&] { constructed = KvVariantMap("nope").ToJSONString(true); }), kParseFailed);
  EXPECT_EQ(constructed, "{}") << "the text constructor leaves a valid empty map";
}

TEST(VariantJsonParse, TextEndsAtTheFirstZeroByte) {
  KvVariantMap map(std::string("{\"a\":1}\0trailing", 16));
  EXPECT_EQ(map.GetInt("a"), 1);
  // What lies behind the zero byte is neither parsed nor checked.
  KvVariantMap deep(std::string("{}\0", 3) + Nested(1000));
  EXPECT_TRUE(deep.IsValid());
}

TEST(VariantJsonParse, NonObjectRootsMakeTheMapInvalid) {
  KvVariantMap map;
  EXPECT_EQ(LogOf([&] { map.FromJSONString("[1,2]"); }), "");
  EXPECT_FALSE(map.IsValid());
  EXPECT_EQ(map.ToJSONString(true), "");
  EXPECT_EQ(map.ToJSONString(false), "");
  map.FromJSONString("{}");
  EXPECT_TRUE(map.IsValid());
  EXPECT_TRUE(map.IsEmpty());
  for (const char* root : {"1", "\"s\"", "null", "true"}) {
    EXPECT_FALSE(KvVariantMap(root).IsValid()) << root;
  }
}

TEST(VariantJsonParse, DuplicateNamesSurviveAndLookupsFindTheFirst) {
  KvVariantMap map(R"({"a":1,"b":2,"a":3})");
  EXPECT_EQ(map.GetInt("a"), 1);
  EXPECT_EQ(map.GetKeys(), (std::vector<std::string>{"a", "b", "a"}));
  EXPECT_EQ(map.ToJSONString(true), R"({"a":1,"b":2,"a":3})");
  map.Set("a", 4);
  EXPECT_EQ(map.ToJSONString(true), R"({"a":4,"b":2,"a":3})");
}

TEST(VariantJsonGuard, NestingUpTo512LevelsIsAccepted) {
  const std::string text = "{\"a\":" + Nested(511) + "}";
  KvVariantMap map;
  EXPECT_EQ(LogOf([&] { map.FromJSONString(text); }), "");
  EXPECT_EQ(map.ToJSONString(true), text);
  KvVariantMap copy(map);
  EXPECT_EQ(copy.GetListSize("a"), 1u);
}

TEST(VariantJsonGuard, DeeperNestingIsAParseFailure) {
  KvVariantMap map(R"({"kept":true})");
  EXPECT_EQ(LogOf([&] { map.FromJSONString("{\"a\":" + Nested(512) + "}"); }), kParseFailed);
  EXPECT_EQ(LogOf([&] { map.FromJSONString(std::string(513, '{')); }), kParseFailed);
  EXPECT_EQ(map.ToJSONString(true), R"({"kept":true})");
}

TEST(VariantJsonGuard, AHugelyNestedTextIsRejectedWithoutCrashing) {
  KvVariantMap map;
  EXPECT_EQ(LogOf([&] { map.FromJSONString(std::string(200000, '[')); }), kParseFailed);
  EXPECT_EQ(LogOf([&] { map.FromJSONString(Nested(200000)); }), kParseFailed);
  std::string objects;
  for (int i = 0; i < 200000; ++i) objects += "{\"k\":";
  EXPECT_EQ(LogOf([&] { map.FromJSONString(objects); }), kParseFailed);
  EXPECT_TRUE(map.IsValid());
}

TEST(VariantJsonGuard, BracketsInsideStringsDoNotCount) {
  const std::string brackets(5000, '[');
  const std::string text = R"({"s":"\")" + brackets + R"(\\","t":")" + brackets + "\"}";
  KvVariantMap map;
  EXPECT_EQ(LogOf([&] { map.FromJSONString(text); }), "");
  EXPECT_EQ(map.GetString("t"), brackets);
}

TEST(VariantJsonGuard, ExponentsBeyondEightDigitsAreAParseFailure) {
  KvVariantMap map(R"({"kept":1})");
  for (const char* bad : {R"({"x":0.00000000001e-2147483639})", R"({"x":1e-2147483648})",
                          R"({"x":[1E+123456789]})", R"({"x":1e000000001})"}) {
    EXPECT_EQ(LogOf([&] { map.FromJSONString(bad); }), kParseFailed) << bad;
  }
  EXPECT_EQ(map.ToJSONString(true), R"({"kept":1})");
  map.FromJSONString(R"({"tiny":0.00000000001e-12345678,"e":2.5E+2,"huge":1e-99999999})");
  EXPECT_EQ(map.GetDouble("tiny"), 0.0);
  EXPECT_EQ(map.GetDouble("e"), 250.0);
  EXPECT_EQ(map.GetDouble("huge"), 0.0);
}

TEST(VariantJsonGuard, OverlongNumbersAreAParseFailure) {
  KvVariantMap map;
  const std::string fraction = "{\"x\":0." + std::string((1u << 20) + 1, '0') + "1e-99999999}";
  EXPECT_EQ(LogOf([&] { map.FromJSONString(fraction); }), kParseFailed);
  const std::string longButFine = "{\"x\":0." + std::string(1000, '0') + "1e-5}";
  EXPECT_EQ(LogOf([&] { map.FromJSONString(longButFine); }), "");
  EXPECT_EQ(map.GetDouble("x"), 0.0);
}

TEST(VariantJsonGuard, LiteralsWithAnEAreNotExponents) {
  KvVariantMap map(R"({"t":true,"f":false,"list":[true,false,1e5]})");
  EXPECT_TRUE(map.GetBool("t"));
  EXPECT_EQ(map.GetListSize("list"), 3u);
}

}  // namespace

TEST(VariantJsonParse, NumbersBeyondTheDoubleRangeWithLongMantissasAreAParseFailure) {
  KvVariantMap map(R"({"kept":1})");
  for (const char* huge : {R"({"a":180000000000000000000e288})",
                           R"({"a":-180000000000000000000e288})",
                           R"({"a":[1,{"b":99999999999999999999999e300}]})"}) {
    EXPECT_EQ(LogOf([&] { map.FromJSONString(huge); }), kParseFailed) << huge;
    EXPECT_EQ(map.ToJSONString(true), R"({"kept":1})") << huge;
  }
  map.FromJSONString(R"({"a":17000000000000000000e289})");
  EXPECT_DOUBLE_EQ(map.GetDouble("a"), 1.7e308) << "a large finite double still parses";
}
