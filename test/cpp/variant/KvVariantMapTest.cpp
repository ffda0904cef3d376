// Typed access of the variant map: kinds, defaults, missing-key reports, member order,
// invalid maps, copies and the member operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <functional>
#include <limits>
#include <memory>

#include "variant/KvVariantMap.h"
#include "variant/LogCapture.h"

namespace {

using IPC::IVariantMap;
using IPC::KvVariantMap;
using VariantTest::ErrorLine;
using VariantTest::LogOf;

struct Kinds {
  bool int32, uint32, int64, uint64, floating;
};

Kinds KindsOf(const KvVariantMap& map) {
  return {map.IsInt("n"), map.IsUInt("n"), map.IsInt64("n"), map.IsUInt64("n"), map.IsDouble("n")};
}

void ExpectKinds(const KvVariantMap& map, Kinds want, const char* what) {
  const Kinds got = KindsOf(map);
  EXPECT_EQ(got.int32, want.int32) << what;
  EXPECT_EQ(got.uint32, want.uint32) << what;
  EXPECT_EQ(got.int64, want.int64) << what;
  EXPECT_EQ(got.uint64, want.uint64) << what;
  EXPECT_EQ(got.floating, want.floating) << what;
}

TEST(KvVariantMapKinds, IntegerFlagsDependOnTheValueOnly) {
  KvVariantMap map;
  const Kinds small{true, true, true, true, false};
  map.Set("n", uint64_t{5});
  ExpectKinds(map, small, "uint64 5");
  map.Set("n", int64_t{5});
  ExpectKinds(map, small, "int64 5");
  map.Set("n", uint32_t{2147483647u});
  ExpectKinds(map, small, "2^31-1");
  map.Set("n", int64_t{2147483648LL});
  ExpectKinds(map, {false, true, true, true, false}, "2^31");
  map.Set("n", uint64_t{4294967295ULL});
  ExpectKinds(map, {false, true, true, true, false}, "2^32-1");
  map.Set("n", uint64_t{4294967296ULL});
  ExpectKinds(map, {false, false, true, true, false}, "2^32");
  map.Set("n", std::numeric_limits<int64_t>::max());
  ExpectKinds(map, {false, false, true, true, false}, "2^63-1");
  map.Set("n", uint64_t{9223372036854775808ULL});
  ExpectKinds(map, {false, false, false, true, false}, "2^63");
  map.Set("n", std::numeric_limits<uint64_t>::max());
  ExpectKinds(map, {false, false, false, true, false}, "2^64-1");
  map.Set("n", int32_t{-1});
  ExpectKinds(map, {true, false, true, false, false}, "-1");
  map.Set("n", int64_t{-2147483648LL});
  ExpectKinds(map, {true, false, true, false, false}, "-2^31");
  map.Set("n", int64_t{-2147483649LL});
  ExpectKinds(map, {false, false, true, false, false}, "-2^31-1");
  map.Set("n", std::numeric_limits<int64_t>::min());
  ExpectKinds(map, {false, false, true, false, false}, "-2^63");
  map.Set("n", 5.0);
  ExpectKinds(map, {false, false, false, false, true}, "5.0");
  map.Set("n", 5.0f);
  ExpectKinds(map, {false, false, false, false, true}, "5.0f");
}

TEST(KvVariantMapKinds, ParsedNumbersFollowTheSameTable) {
  ExpectKinds(KvVariantMap(R"({"n":2147483648})"), {false, true, true, true, false}, "2^31");
  ExpectKinds(KvVariantMap(R"({"n":-2147483649})"), {false, false, true, false, false}, "-2^31-1");
  ExpectKinds(KvVariantMap(R"({"n":18446744073709551615})"), {false, false, false, true, false},
              "2^64-1");
  ExpectKinds(KvVariantMap(R"({"n":18446744073709551616})"), {false, false, false, false, true},
              "2^64 is too big for an integer");
  ExpectKinds(KvVariantMap(R"({"n":1e2})"), {false, false, false, false, true}, "1e2");
  ExpectKinds(KvVariantMap(R"({"n":7.0})"), {false, false, false, false, true}, "7.0");
}

TEST(KvVariantMapKinds, SmallUnsignedReadsAsEveryNumberKind) {
  KvVariantMap map;
  map.Set("n", uint64_t{5});
  EXPECT_EQ(map.GetInt("n"), 5);
  EXPECT_EQ(map.GetUInt("n"), 5u);
  EXPECT_EQ(map.GetInt64("n"), 5);
  EXPECT_EQ(map.GetUInt64("n"), 5u);
  EXPECT_EQ(map.GetFloat("n"), 5.0f);
  EXPECT_EQ(map.GetDouble("n"), 5.0);
}

TEST(KvVariantMapKinds, FloatIsWidenedToTheNearestDouble) {
  KvVariantMap map;
  map.Set("f", 0.1f);
  EXPECT_EQ(map.GetDouble("f"), 0.10000000149011612);
  EXPECT_EQ(map.GetFloat("f"), 0.1f);
  EXPECT_TRUE(map.IsFloat("f"));
}

TEST(KvVariantMapKinds, IsFloatBoundsTheMagnitude) {
  KvVariantMap map;
  map.Set("max", FLT_MAX);
  map.Set("min", -FLT_MAX);
  map.Set("big", 3.5e38);
  map.Set("int", 1);
  EXPECT_TRUE(map.IsFloat("max"));
  EXPECT_TRUE(map.IsFloat("min"));
  EXPECT_FALSE(map.IsFloat("big"));
  EXPECT_TRUE(map.IsDouble("big"));
  EXPECT_FALSE(map.IsFloat("int"));
}

TEST(KvVariantMapKinds, OtherKindTests) {
  KvVariantMap map(R"({"b":true,"s":"x","m":{},"l":[1],"e":[],"ml":[{}],"z":null})");
  EXPECT_TRUE(map.IsBool("b"));
  EXPECT_FALSE(map.IsBool("s"));
  EXPECT_TRUE(map.IsString("s"));
  EXPECT_FALSE(map.IsString("b"));
  EXPECT_TRUE(map.IsMap("m"));
  EXPECT_TRUE(map.IsMap("ml"));
  EXPECT_FALSE(map.IsMap("e"));
  EXPECT_FALSE(map.IsMap("l"));
  EXPECT_TRUE(map.IsList("l"));
  EXPECT_TRUE(map.IsList("e"));
  EXPECT_FALSE(map.IsList("m"));
  EXPECT_TRUE(map.IsInt("l")) << "a list is judged by its first element";
  EXPECT_FALSE(map.IsInt("e")) << "an empty list is no kind";
  for (const char* key : {"b", "s", "m", "z"}) EXPECT_FALSE(map.IsInt(key)) << key;
}

TEST(KvVariantMapKinds, WrongKindReadsGiveTheZeroValue) {
  KvVariantMap map(R"({"s":"text","half":2.5,"big":1099511627776,"neg":-3,"n":7,"m":{}})");
  const std::string log = LogOf([&] {
    EXPECT_FALSE(map.GetBool("s"));
    EXPECT_EQ(map.GetInt("half"), 0);
    EXPECT_EQ(map.GetInt("big"), 0);
    EXPECT_EQ(map.GetUInt("big"), 0u);
    EXPECT_EQ(map.GetInt64("big"), 1099511627776LL);
    EXPECT_EQ(map.GetUInt("neg"), 0u);
    EXPECT_EQ(map.GetUInt64("neg"), 0u);
    EXPECT_EQ(map.GetInt64("half"), 0);
    EXPECT_EQ(map.GetDouble("s"), 0.0);
    EXPECT_EQ(map.GetFloat("m"), 0.0f);
    EXPECT_EQ(map.GetCString("n"), nullptr);
    EXPECT_EQ(map.GetString("n"), "");
    EXPECT_EQ(map.GetString("m"), "");
    EXPECT_EQ(map.GetIntList("s"), std::vector<int32_t>{0});
    EXPECT_EQ(map.GetStringList("n"), std::vector<std::string>{""});
  });
  EXPECT_EQ(log, "") << "a present key is never reported";
}

TEST(KvVariantMapAccess, ScalarsAndStringsRoundTrip) {
  KvVariantMap map;
  map.Set("b", true);
  map.Set("i", int32_t{-7});
  map.Set("u", uint32_t{4000000000u});
  map.Set("i64", int64_t{-5000000000LL});
  map.Set("u64", uint64_t{18000000000000000000ULL});
  map.Set("d", 2.5);
  map.Set("c", "chars");
  map.Set("s", std::string("bytes\0inside", 12));
  EXPECT_TRUE(map.GetBool("b"));
  EXPECT_EQ(map.GetInt("i"), -7);
  EXPECT_EQ(map.GetUInt("u"), 4000000000u);
  EXPECT_EQ(map.GetInt64("i64"), -5000000000LL);
  EXPECT_EQ(map.GetUInt64("u64"), 18000000000000000000ULL);
  EXPECT_EQ(map.GetDouble("d"), 2.5);
  EXPECT_STREQ(map.GetCString("c"), "chars");
  EXPECT_EQ(map.GetString("c"), "chars");
  EXPECT_EQ(map.GetString("s"), "bytes") << "strings read up to their first zero byte";
}

TEST(KvVariantMapAccess, ListsRoundTrip) {
  KvVariantMap map;
  map.Set("b", std::vector<bool>{true, false, true});
  map.Set("i", std::vector<int32_t>{1, -2});
  map.Set("u", std::vector<uint32_t>{3u});
  map.Set("i64", std::vector<int64_t>{-5000000000LL});
  map.Set("u64", std::vector<uint64_t>{18000000000000000000ULL});
  map.Set("f", std::vector<float>{0.5f});
  map.Set("d", std::vector<double>{1.5, -2.25});
  map.Set("s", std::vector<std::string>{"a", "", "c"});
  EXPECT_EQ(map.GetBoolList("b"), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(map.GetIntList("i"), (std::vector<int32_t>{1, -2}));
  EXPECT_EQ(map.GetUIntList("u"), (std::vector<uint32_t>{3u}));
  EXPECT_EQ(map.GetInt64List("i64"), (std::vector<int64_t>{-5000000000LL}));
  EXPECT_EQ(map.GetUInt64List("u64"), (std::vector<uint64_t>{18000000000000000000ULL}));
  EXPECT_EQ(map.GetFloatList("f"), (std::vector<float>{0.5f}));
  EXPECT_EQ(map.GetDoubleList("d"), (std::vector<double>{1.5, -2.25}));
  EXPECT_EQ(map.GetStringList("s"), (std::vector<std::string>{"a", "", "c"}));
  const std::vector<const char*> chars = map.GetCStringList("s");
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_STREQ(chars[2], "c");
  EXPECT_EQ(map.GetListSize("s"), 3u);
  EXPECT_TRUE(map.IsList("s"));
}

TEST(KvVariantMapAccess, SingleGettersReadTheFirstElementOfAList) {
  KvVariantMap map(R"({"l":[7,8],"e":[],"n":7,"ml":[{"a":1},{"a":2}]})");
  const std::string log = LogOf([&] {
    EXPECT_EQ(map.GetInt("l"), 7);
    EXPECT_EQ(map.GetInt("e"), 0);
    EXPECT_EQ(map.GetString("e"), "");
    EXPECT_EQ(map.GetIntList("n"), std::vector<int32_t>{7});
    EXPECT_EQ(map.GetMap("ml").GetInt("a"), 1);
    EXPECT_TRUE(map.GetMap("e").IsValid());
    EXPECT_TRUE(map.GetMap("e").IsEmpty());
  });
  EXPECT_EQ(log, "");
}

TEST(KvVariantMapAccess, NestedMapsAndMapListsAreDeepCopies) {
  KvVariantMap inner;
  inner.Set("a", 1);
  KvVariantMap outer;
  outer.Set("inner", inner);
  inner.Set("a", 2);
  EXPECT_EQ(outer.GetMap("inner").GetInt("a"), 1) << "the setter copied the map";

  KvVariantMap read = outer.GetMap("inner");
  read.Set("a", 3);
  EXPECT_EQ(outer.GetMap("inner").GetInt("a"), 1) << "the getter returned a copy";

  std::shared_ptr<IVariantMap> shared = outer.GetVariantMap("inner");
  ASSERT_NE(shared, nullptr);
  shared->Set("a", 4);
  EXPECT_EQ(outer.GetMap("inner").GetInt("a"), 1);

  outer.Set("viaPointer", shared);
  EXPECT_EQ(outer.GetMap("viaPointer").GetInt("a"), 4);

  KvVariantMap second;
  second.Set("a", 5);
  outer.Set("list", std::vector<KvVariantMap>{inner, second});
  outer.Set("shared", std::vector<std::shared_ptr<IVariantMap>>{shared, nullptr});
  const std::vector<KvVariantMap> list = outer.GetMapList("list");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].GetInt("a"), 2);
  EXPECT_EQ(list[1].GetInt("a"), 5);
  const auto sharedList = outer.GetVariantMapList("shared");
  ASSERT_EQ(sharedList.size(), 2u);
  EXPECT_EQ(sharedList[0]->GetInt("a"), 4);
  EXPECT_TRUE(dynamic_cast<KvVariantMap&>(*sharedList[1]).IsEmpty()) << "null becomes {}";
  EXPECT_EQ(outer.GetMapList("inner").size(), 1u) << "a single map reads as a list of one";
}

TEST(KvVariantMapAccess, AMapCanBeStoredInsideItself) {
  KvVariantMap map;
  map.Set("a", 1);
  map.Set("self", map);
  map.Set("self", map);
  EXPECT_EQ(map.ToJSONString(true), R"({"a":1,"self":{"a":1,"self":{"a":1}}})");
}

TEST(KvVariantMapAccess, NullArgumentsStoreNothing) {
  KvVariantMap map;
  map.Set("c", static_cast<const char*>(nullptr));
  map.Set("m", std::shared_ptr<IVariantMap>());
  EXPECT_TRUE(map.IsEmpty());
}

TEST(KvVariantMapOrder, ReplacedScalarsKeepTheirPlaceAndMapsMoveLast) {
  KvVariantMap map;
  map.Set("a", 1);
  map.Set("m", KvVariantMap());
  map.Set("s", "x");
  map.Set("l", std::vector<int32_t>{1});
  map.Set("ml", std::vector<KvVariantMap>{});
  map.Set("z", true);

  map.Set("a", std::string("now a string"));
  map.Set("s", 2.5);
  map.Set("l", std::vector<std::string>{"y"});
  EXPECT_EQ(map.GetKeys(), (std::vector<std::string>{"a", "m", "s", "l", "ml", "z"}));

  map.Set("m", KvVariantMap());
  EXPECT_EQ(map.GetKeys(), (std::vector<std::string>{"a", "s", "l", "ml", "z", "m"}));
  map.Set("ml", std::vector<std::shared_ptr<IVariantMap>>{});
  EXPECT_EQ(map.GetKeys(), (std::vector<std::string>{"a", "s", "l", "z", "m", "ml"}));
  EXPECT_EQ(map.GetString("a"), "now a string");
}

TEST(KvVariantMapOrder, KeysAreCaseSensitiveBytes) {
  KvVariantMap map;
  map.Set("Key", 1);
  map.Set("key", 2);
  map.Set(std::string("k\0x", 3), 3);
  map.Set(std::string("k\0y", 3), 4);
  map.Set("", 5);
  EXPECT_EQ(map.GetKeys().size(), 5u);
  EXPECT_EQ(map.GetInt("Key"), 1);
  EXPECT_EQ(map.GetInt(std::string("k\0y", 3)), 4);
  EXPECT_EQ(map.GetInt(""), 5);
}

TEST(KvVariantMapMissing, GettersWithoutDefaultReportTheirSite) {
  KvVariantMap map;
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { EXPECT_EQ(map.GetInt("count"), 0); }, "1015"},
      {[&] { EXPECT_FALSE(map.GetBool("k")); }, "1015"},
      {[&] { EXPECT_EQ(map.GetUInt("k"), 0u); }, "1015"},
      {[&] { EXPECT_EQ(map.GetInt64("k"), 0); }, "1015"},
      {[&] { EXPECT_EQ(map.GetUInt64("k"), 0u); }, "1015"},
      {[&] { EXPECT_EQ(map.GetFloat("k"), 0.0f); }, "1015"},
      {[&] { EXPECT_EQ(map.GetDouble("k"), 0.0); }, "1015"},
      {[&] { EXPECT_EQ(map.GetCString("k"), nullptr); }, "1015"},
      {[&] { EXPECT_TRUE(map.GetIntList("k").empty()); }, "1052"},
      {[&] { EXPECT_TRUE(map.GetBoolList("k").empty()); }, "1052"},
      {[&] { EXPECT_TRUE(map.GetCStringList("k").empty()); }, "1052"},
      {[&] { EXPECT_FALSE(map.IsBool("k")); }, "1078"},
      {[&] { EXPECT_FALSE(map.IsFloat("k")); }, "1078"},
      {[&] { EXPECT_EQ(map.GetString("k"), ""); }, "129"},
      {[&] { EXPECT_TRUE(map.GetMap("k").IsValid()); }, "166"},
      {[&] { EXPECT_EQ(map.GetVariantMap("k"), nullptr); }, "184"},
      {[&] { EXPECT_TRUE(map.GetStringList("k").empty()); }, "213"},
      {[&] { EXPECT_TRUE(map.GetMapList("k").empty()); }, "258"},
      {[&] { EXPECT_TRUE(map.GetVariantMapList("k").empty()); }, "279"},
  };
  for (const auto& [call, site] : cases) {
    const std::string log = LogOf(call);
    EXPECT_NE(log.find("IPC | Error | KvVariantMap : " + site + " : missing key:"),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  }
  EXPECT_EQ(LogOf([&] { map.GetInt("count"); }),
            ErrorLine("KvVariantMap : 1015 : missing key:count"));
}

TEST(KvVariantMapMissing, DefaultsSuppressTheReport) {
  KvVariantMap map;
  auto fallback = std::make_shared<KvVariantMap>();
  fallback->Set("x", 1);
  KvVariantMap defaultMap;
  defaultMap.Set("y", 2);
  const std::string log = LogOf([&] {
    EXPECT_EQ(map.GetInt("count", 7), 7);
    EXPECT_TRUE(map.GetBool("k", true));
    EXPECT_EQ(map.GetUInt("k", 8u), 8u);
    EXPECT_EQ(map.GetInt64("k", -9), -9);
    EXPECT_EQ(map.GetUInt64("k", 10u), 10u);
    EXPECT_EQ(map.GetFloat("k", 1.5f), 1.5f);
    EXPECT_EQ(map.GetDouble("k", 2.5), 2.5);
    EXPECT_STREQ(map.GetCString("k", "dflt"), "dflt");
    EXPECT_EQ(map.GetString("k", "dflt"), "dflt");
    EXPECT_EQ(map.GetVariantMap("k", fallback), fallback);
    EXPECT_EQ(map.GetMap("k", defaultMap).GetInt("y"), 2);
    EXPECT_EQ(map.GetIntList("k", {1, 2}), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(map.GetStringList("k", {"a"}), (std::vector<std::string>{"a"}));
    EXPECT_EQ(map.GetMapList("k", {defaultMap}).size(), 1u);
    EXPECT_EQ(map.GetVariantMapList("k", {fallback}).size(), 1u);
  });
  EXPECT_EQ(log, "");
}

TEST(KvVariantMapMissing, KindQueriesAndTheirOwnTexts) {
  KvVariantMap map;
  map.Set("t", true);
  map.Set("f", false);
  map.Set("s", "x");
  EXPECT_EQ(LogOf([&] {
              EXPECT_FALSE(map.IsTrue("nothing"));
              EXPECT_FALSE(map.IsFalse("nothing"));
              EXPECT_TRUE(map.IsTrue("t"));
              EXPECT_FALSE(map.IsTrue("f"));
              EXPECT_TRUE(map.IsFalse("f"));
              EXPECT_FALSE(map.IsFalse("s"));
              EXPECT_FALSE(map.Has("nothing"));
              EXPECT_EQ(map.GetListSize("nothing"), 0u);
              EXPECT_EQ(map.GetListSize("s"), 0u);
            }),
            "");
  EXPECT_EQ(LogOf([&] { EXPECT_FALSE(map.IsMap("gone")); }),
            ErrorLine("KvVariantMap : 671 - gone"));
  EXPECT_EQ(LogOf([&] { EXPECT_FALSE(map.IsList("gone")); }),
            ErrorLine("KvVariantMap : gone not found"));
  EXPECT_EQ(LogOf([&] { EXPECT_FALSE(map.IsBool("gone")); }),
            ErrorLine("KvVariantMap : 1078 : missing key:gone"));
}

TEST(KvVariantMapMissing, HasAnyStopsAtTheFirstPresentKey) {
  KvVariantMap map;
  map.Set("b", 1);
  EXPECT_FALSE(map.HasAny({}));
  EXPECT_FALSE(map.HasAny({"a", "c"}));
  EXPECT_TRUE(map.HasAny({"a", "b"}));
}

TEST(KvVariantMapInvalid, AnInvalidMapIgnoresSettersAndReportsOnlyStringAndMapGetters) {
  KvVariantMap map("[1,2]");
  ASSERT_FALSE(map.IsValid());
  const std::string quiet = LogOf([&] {
    map.Set("a", 1);
    map.Set("m", KvVariantMap());
    map.Set("l", std::vector<int32_t>{1});
    map.Remove("a");
    map.CopyKey("a", KvVariantMap());
    EXPECT_EQ(map.GetInt("a"), 0);
    EXPECT_EQ(map.GetIntList("a"), std::vector<int32_t>{});
    EXPECT_EQ(map.GetCString("a"), nullptr);
    EXPECT_FALSE(map.GetMap("a").IsValid() && !map.GetMap("a").IsEmpty());
    EXPECT_TRUE(map.GetMapList("a").empty());
    EXPECT_FALSE(map.IsInt("a"));
    EXPECT_FALSE(map.IsMap("a"));
    EXPECT_FALSE(map.IsList("a"));
    EXPECT_FALSE(map.Has("a"));
    EXPECT_FALSE(map.HasAny({"a"}));
    EXPECT_EQ(map.GetListSize("a"), 0u);
    EXPECT_TRUE(map.GetKeys().empty());
    EXPECT_EQ(map.ToJSONString(true), "");
    EXPECT_EQ(map.GetString("a", "d"), "d");
    EXPECT_EQ(map.GetInt("a", 4), 0) << "the zero value, not the default";
  });
  EXPECT_EQ(quiet, "");
  EXPECT_EQ(LogOf([&] { map.GetString("a"); }), ErrorLine("KvVariantMap : 129 : missing key:a"));
  EXPECT_EQ(LogOf([&] { map.GetVariantMap("a"); }),
            ErrorLine("KvVariantMap : 184 : missing key:a"));
  EXPECT_EQ(LogOf([&] { map.GetStringList("a"); }),
            ErrorLine("KvVariantMap : 213 : missing key:a"));
  EXPECT_EQ(LogOf([&] { map.GetVariantMapList("a"); }),
            ErrorLine("KvVariantMap : 279 : missing key:a"));
  map.FromJSONString("{}");
  EXPECT_TRUE(map.IsValid());
  EXPECT_TRUE(map.IsEmpty());
}

TEST(KvVariantMapInvalid, CopiesOfNonObjectsAreInvalid) {
  KvVariantMap map(R"({"n":3,"l":[5]})");
  EXPECT_FALSE(map.GetMap("n").IsValid());
  const std::vector<KvVariantMap> list = map.GetMapList("l");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_FALSE(list[0].IsValid());
  KvVariantMap invalid("7");
  KvVariantMap copy(invalid);  // NOLINT(performance-unnecessary-copy-initialization): under test
  EXPECT_FALSE(copy.IsValid());
  KvVariantMap assigned;
  assigned = invalid;
  EXPECT_FALSE(assigned.IsValid());
  assigned = map;
  EXPECT_TRUE(assigned.IsValid()) << "assignment of an object makes it valid again";
}

TEST(KvVariantMapCopy, CopiesAndAssignmentsAreIndependent) {
  KvVariantMap original;
  original.Set("a", 1);
  KvVariantMap copy(original);
  copy.Set("a", 2);
  copy.Set("b", 3);
  EXPECT_EQ(original.GetInt("a"), 1);
  EXPECT_FALSE(original.Has("b"));

  KvVariantMap assigned;
  assigned.Set("old", true);
  assigned = original;
  EXPECT_EQ(assigned.GetKeys(), std::vector<std::string>{"a"});
  assigned.Set("a", 9);
  EXPECT_EQ(original.GetInt("a"), 1);

  KvVariantMap& self = original;
  original = self;
  EXPECT_EQ(original.ToJSONString(true), R"({"a":1})");
}

TEST(KvVariantMapCopy, MovesTakeTheDocumentAndLeaveAValidMap) {
  KvVariantMap source(R"({"a":1})");
  KvVariantMap moved(std::move(source));
  EXPECT_EQ(moved.GetInt("a"), 1);
  EXPECT_TRUE(source.IsValid());  // NOLINT(bugprone-use-after-move): the state is defined
  EXPECT_TRUE(source.IsEmpty());
  source.Set("b", 2);
  KvVariantMap target;
  target = std::move(source);
  EXPECT_EQ(target.GetInt("b"), 2);
  EXPECT_EQ(moved.GetInt("a"), 1);
}

TEST(KvVariantMapMembers, CopyKeyMovesTheKeyToTheEnd) {
  KvVariantMap source(R"({"x":{"deep":[1,2]},"y":2})");
  KvVariantMap map(R"({"x":0,"z":1})");
  map.CopyKey("x", source);
  EXPECT_EQ(map.ToJSONString(true), R"({"z":1,"x":{"deep":[1,2]}})");
  EXPECT_EQ(LogOf([&] { map.CopyKey("missing", source); }),
            ErrorLine("KvVariantMap : missing not found"));
  map.CopyKey("x", map);
  EXPECT_EQ(map.ToJSONString(true), R"({"z":1,"x":{"deep":[1,2]}})");
}

TEST(KvVariantMapMembers, MergeKeepsPresentValuesAndAppendsInSourceOrder) {
  KvVariantMap map(R"({"b":1,"a":1})");
  KvVariantMap source(R"({"c":2,"a":2,"d":2,"b":2})");
  map.Merge(source);
  EXPECT_EQ(map.ToJSONString(true), R"({"b":1,"a":1,"c":2,"d":2})");
  KvVariantMap partial;
  EXPECT_EQ(LogOf([&] { partial.MergeKeys({"d", "nope", "a"}, source); }), "");
  EXPECT_EQ(partial.ToJSONString(true), R"({"d":2,"a":2})");
}

TEST(KvVariantMapMembers, RemoveKeepsOrderAndReportsEachMissingKey) {
  KvVariantMap map(R"({"a":1,"b":2,"c":3,"d":4})");
  map.Remove("b");
  EXPECT_EQ(map.GetKeys(), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_EQ(LogOf([&] {
              map.Remove({"x", "a", "y"});
            }),
            ErrorLine("KvVariantMap : x not found") + ErrorLine("KvVariantMap : y not found"));
  EXPECT_EQ(map.GetKeys(), (std::vector<std::string>{"c", "d"}));
}

TEST(KvVariantMapMembers, PrintWritesTheIndentedForm) {
  KvVariantMap map;
  map.Set("a", 1);
  EXPECT_EQ(LogOf([&] { map.Print("tag"); }), ErrorLine("KvVariantMap : tag = {\n    \"a\": 1\n}"));
}

}  // namespace
