#include "ipc/BareCallback.h"

#include <gtest/gtest.h>

#include <string>

namespace IPC {
namespace {

std::string Read(const std::string& text) {
  std::string name = "kept";
  return ReadBareCallbackName(text, name) ? name : "declined:" + name;
}

TEST(BareCallback, TakesOnlyTheExactFormAndLeavesEscapesAndArgumentsToTheParsedRoad) {
  EXPECT_EQ(Read(R"({"response":{"status":true,"result":"DocumentChanged"}})"), "DocumentChanged");
  // Taken as it stands, an escape would give a name the host never wrote.
  EXPECT_EQ(Read(R"({"response":{"status":true,"result":"a\"b"}})"), "declined:kept");
  EXPECT_EQ(Read(R"({"response":{"status":true,"result":"a\u0041"}})"), "declined:kept");
  EXPECT_EQ(Read("{\"response\":{\"status\":true,\"result\":\"caf\xc3\xa9\"}}"), "declined:kept");
  // Arguments, another order, a failure, text after the message: not this form.
  EXPECT_EQ(Read(R"({"response":{"status":true,"result":"a","args":{"0":1}}})"), "declined:kept");
  EXPECT_EQ(Read(R"({"response":{"result":"a","status":true}})"), "declined:kept");
  EXPECT_EQ(Read(R"({"response":{"status":false,"result":"a"}})"), "declined:kept");
  EXPECT_EQ(Read(R"({"response":{"status":true,"result":"a"}}})"), "declined:kept");
  EXPECT_EQ(Read(R"({"response":{"status":true,"result":""}})"), "declined:kept");
}

}  // namespace
}  // namespace IPC
