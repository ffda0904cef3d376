// Typed argument access and the errors it reports.
#include <gtest/gtest.h>

#include <memory>

#include "host/Arguments.h"
#include "host/HostObject.h"

namespace {

using Host::Arguments;
using Host::CallError;
using Host::ErrorCode;
using Host::Value;
using Host::ValueMap;

class Special : public Host::HostObject {
 public:
  Special() : HostObject("Special") {}
};

// The text of the CallError that body throws.
template <typename Body>
std::string ErrorOf(Body body) {
  try {
    body();
  } catch (const CallError& error) {
    EXPECT_EQ(error.GetCode(), Host::ToInt(ErrorCode::BadArgument));
    return error.what();
  }
  ADD_FAILURE() << "no CallError";
  return "";
}

TEST(ArgumentsTest, ReadsPositionalArgumentsOfEachKind) {
  auto object = std::make_shared<Special>();
  const Arguments args(ValueMap{{"0", true},
                                {"1", 7},
                                {"2", 2.5},
                                {"3", "text"},
                                {"4", Value::Map({{"a", 1}})},
                                {"5", object},
                                {"timeout", 100}});
  EXPECT_EQ(args.Count(), 6u);
  EXPECT_TRUE(args.GetBool(0));
  EXPECT_EQ(args.GetInt(1), 7);
  EXPECT_DOUBLE_EQ(args.GetNumber(1), 7.0);
  EXPECT_DOUBLE_EQ(args.GetNumber(2), 2.5);
  EXPECT_EQ(args.GetString(3), "text");
  EXPECT_EQ(args.GetMap(4).size(), 1u);
  EXPECT_EQ(args.GetObject(5), object);
  EXPECT_EQ(args.GetObjectAs<Special>(5), object);
  ASSERT_NE(args.Find("timeout"), nullptr);
  EXPECT_EQ(args.Find("timeout")->AsInt(), 100);
  EXPECT_TRUE(args.At(9).IsNone());
}

TEST(ArgumentsTest, DefaultsApplyOnlyToMissingArguments) {
  const Arguments args(ValueMap{{"0", "x"}});
  EXPECT_EQ(args.GetInt(1, 5), 5);
  EXPECT_EQ(args.GetString(0, "d"), "x");
  EXPECT_EQ(ErrorOf([&] { args.GetInt(0, 5); }), "Argument 0 must be a whole number, not a string");
}

TEST(ArgumentsTest, ReportsMissingAndMistypedArgumentsByPosition) {
  const Arguments args(ValueMap{{"0", 2.5}, {"1", Value::Map({{"k", 1}})}});
  EXPECT_EQ(ErrorOf([&] { args.GetString(2); }), "Argument 2 is missing");
  EXPECT_EQ(ErrorOf([&] { args.GetInt(0); }), "Argument 0 must be a whole number, not a number");
  EXPECT_EQ(ErrorOf([&] { args.GetBool(0); }), "Argument 0 must be a boolean, not a number");
  EXPECT_EQ(ErrorOf([&] { args.GetObject(1); }), "Argument 1 must be an object, not a table");
  EXPECT_EQ(ErrorOf([&] { args.GetList(1); }), "Argument 1 must be a list, not a table");
}

TEST(ArgumentsTest, WholeFloatingNumbersReadAsIntegers) {
  const Arguments args(ValueMap{{"0", 3.0}, {"1", 1e300}});
  EXPECT_EQ(args.GetInt(0), 3);
  EXPECT_EQ(ErrorOf([&] { args.GetInt(1); }), "Argument 1 must be a whole number, not a number");
}

TEST(ArgumentsTest, ATableKeyedByIndicesReadsAsAList) {
  // A JavaScript array arrives as a table keyed "0", "1", ...
  const Arguments args(ValueMap{{"0", Value::Map({{"0", 10}, {"1", 20}})},
                                {"1", Value::List({1, 2, 3})},
                                {"2", Value::Map({{"1", 10}, {"0", 20}})}});
  EXPECT_EQ(args.GetList(0), (Host::ValueList{10, 20}));
  EXPECT_EQ(args.GetList(1).size(), 3u);
  EXPECT_EQ(ErrorOf([&] { args.GetList(2); }), "Argument 2 must be a list, not a table");
}

TEST(ArgumentsTest, AnObjectOfAnotherClassIsRefused) {
  const Arguments args(ValueMap{{"0", std::make_shared<Host::HostObject>("Plain")}});
  EXPECT_EQ(ErrorOf([&] { args.GetObjectAs<Special>(0); }),
            "Argument 0 is a Plain, which this function does not take");
}

}  // namespace
