#include "ipc/PlainResult.h"

#include <gtest/gtest.h>

#include <string>

namespace IPC {
namespace {

std::string Response(const std::string& result) {
  return R"({"response":{"requestId":12,"status":true,"result":)" + result + "}}";
}

// The plain text of the response's result, or "declined".
std::string Straight(const std::string& text, bool* asciiOnly = nullptr) {
  std::string out = "kept:";
  bool ascii = false;
  if (!WritePlainResult(text, out, &ascii)) {
    EXPECT_EQ(out, "kept:") << "a declined text must leave the output as it was";
    return "declined";
  }
  if (asciiOnly != nullptr) *asciiOnly = ascii;
  return out.substr(5);
}

TEST(PlainResult, ListsOfMapsInEveryMemberOrderHostsWriteKeepTheirTokensAsTheyStand) {
  EXPECT_EQ(Straight(Response(
                R"({"type":"table","value":{"0":{"type":"table","value":{"i":1,"s":"a\"b\\c\/\n","d":-0.0}},)"
                R"("1":{"type":"table","isList":true,"value":{"0":1e21,"1":12345678901234567890}}},"isList":true})")),
            R"([{"i":1,"s":"a\"b\\c\/\n","d":-0.0},[1e21,12345678901234567890]])");
  EXPECT_EQ(Straight(Response(R"({"type":"table","value":{"b":true,"a":{"type":"table","value":{}},)"
                              R"("c":{"type":"table","value":{},"isList":true}},"isList":false})")),
            R"({"b":true,"a":{},"c":[]})");
  EXPECT_EQ(Straight(" {\n\"response\" : {\t\"result\" : { \"type\" : \"table\" , \"value\" : "
                     "{ \"0\" : 1 } , \"isList\" : true } , \"status\" : true } } \r\n"),
            "[1]");
  // The parser stops at a zero byte: what follows is no part of the text.
  EXPECT_EQ(Straight(Response(R"({"type":"table","value":{"a":1}})") + std::string("\0x", 2)),
            R"({"a":1})");
}

// A result that is one plain value takes the same road as a table's members, and is
// declined where they would be.
TEST(PlainResult, APlainValueOnItsOwnIsWrittenAsATablesMemberWouldBe) {
  EXPECT_EQ(Straight(Response("42")), "42");
  EXPECT_EQ(Straight(Response("-1.5e-3")), "-1.5e-3");
  EXPECT_EQ(Straight(Response("12345678901234567890")), "12345678901234567890");
  EXPECT_EQ(Straight(Response(R"("a\"b\n")")), R"("a\"b\n")");
  EXPECT_EQ(Straight(Response("true")), "true");
  EXPECT_EQ(Straight(Response("false")), "false");
  for (const char* value : {"-0", "null", "1e400", "1e-320", "01", R"("\u0041")", "[1]", "tru"}) {
    EXPECT_EQ(Straight(Response(value)), "declined") << value;
  }
}

TEST(PlainResult, OnlyTextWithoutHighBytesIsAsciiOnly) {
  bool ascii = false;
  EXPECT_EQ(Straight(Response(R"({"type":"table","value":{"s":"plain"}})"), &ascii), R"({"s":"plain"})");
  EXPECT_TRUE(ascii);
  EXPECT_EQ(Straight(Response("{\"type\":\"table\",\"value\":{\"s\":\"\xC3\xA9\"}}"), &ascii),
            "{\"s\":\"\xC3\xA9\"}");
  EXPECT_FALSE(ascii);
  EXPECT_EQ(Straight(Response("{\"type\":\"table\",\"value\":{\"\xFF\":1}}"), &ascii), "{\"\xFF\":1}");
  EXPECT_FALSE(ascii);
}

// Each of these reads differently through the parsed message, or is refused by it, or is
// simply not a form this road knows: declining sends it down the parsed road.
TEST(PlainResult, DeclinesWhatTheParsedRoadReadsDifferentlyOrRefuses) {
  const char* const tables[] = {
      R"({"type":"table","value":{"a":1,"b":2,"a":3}})",             // repeated name: first wins
      R"({"type":"table","value":{"a":1,"\u0061":2}})",              // the same name, escaped
      R"({"type":"table","value":{"\/":1}})",                        // any escape in a name
      R"({"type":"table","value":{"s":"\u00e9"}})",                  // \u escapes (and \u0000)
      R"({"type":"table","value":{"n":-0}})",                        // integer -0 reads as 0
      R"({"type":"table","value":{"n":1e400}})",                     // refused by the parser
      R"({"type":"table","value":{"n":0e600}})",                     // refused too, though zero
      R"({"type":"table","value":{"n":1e-320}})",                    // subnormal
      R"({"type":"table","value":{"n":01}})",                        // not JSON
      R"({"type":"table","value":{"n":1.}})",                        // not JSON
      R"({"type":"table","value":{"n":1e1000}})",                    // four exponent digits
      R"({"type":"table","value":{"n":null}})",                      // null
      R"({"type":"table","value":{"n":[1]}})",                       // bare array
      R"({"type":"table","value":{"1":"b","0":"a"},"isList":true})",  // list not by position
      R"({"type":"table","value":{"a":1},"isList":1})",              // "isList" not a bool
      R"({"type":"table","value":{"a":1},"extra":0})",               // another member
      R"({"value":{"a":1},"type":"table"})",                         // "type" not first
      R"({"type":"proxy","value":{"proxyId":3}})",                   // not a table
      "{\"type\":\"table\",\"value\":{\"s\":\"a\x01\"}}",            // raw control character
  };
  for (const char* table : tables) EXPECT_EQ(Straight(Response(table)), "declined") << table;

  std::string repeatedLate = R"({"type":"table","value":{)";
  for (int i = 0; i < 20; ++i) repeatedLate += "\"k" + std::to_string(i) + "\":0,";
  EXPECT_NE(Straight(Response(repeatedLate + R"("k20":0}})")), "declined");
  EXPECT_EQ(Straight(Response(repeatedLate + R"("k3":0}})")), "declined") << "sorted check";

  std::string deep = R"({"type":"table","value":{"a":1}})";
  for (int i = 0; i < 40; ++i) deep = R"({"type":"table","value":{"a":)" + deep + "}}";
  EXPECT_EQ(Straight(Response(deep)), "declined");

  const std::string table = R"({"type":"table","value":{"a":1}})";
  const char* const envelopes[] = {
      R"({"response":{"status":false,"result":T}})",
      R"({"response":{"status":true,"result":T,"status":true}})",
      R"({"response":{"status":true,"result":T,"error":"x"}})",
      R"({"response":{"status":true,"result":T,"requestId":-1}})",
      R"({"response":{"status":true}})",
      R"({"response":{"status":true,"result":T}} x)",
      R"({"response":{"status":true,"result":T},"x":0})",
      R"([{"response":{"status":true,"result":T}}])",
      R"({"response":{"status":true,"result":T})",
  };
  for (std::string envelope : envelopes) {
    const size_t at = envelope.find('T');
    if (at != std::string::npos) envelope.replace(at, 1, table);
    EXPECT_EQ(Straight(envelope), "declined") << envelope;
  }
}

}  // namespace
}  // namespace IPC
