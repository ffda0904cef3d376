// The pre-scan on its own: chunked input must be judged exactly as whole input.
#include <gtest/gtest.h>

#include <string>

#include "variant/JsonGuard.h"

namespace {

using IPC::JsonGuard;

bool FedByteByByte(const std::string& text) {
  JsonGuard guard;
  for (char c : text) {
    if (!guard.Feed(&c, 1)) return false;
  }
  return true;
}

TEST(JsonGuard, ChunkBoundariesDoNotChangeTheVerdict) {
  const std::string depth513 = std::string(513, '[');
  const std::string escaped = "[\"\\\"" + std::string(600, '[') + "\"]";
  const std::string exponent = "[1.5e-123456789]";
  const std::string fine = "{\"a\":[1e-12345678,\"]]]]\\\\\",{\"b\":true}]}";
  for (const auto& [text, verdict] :
       {std::pair{depth513, false}, {escaped, true}, {exponent, false}, {fine, true}}) {
    EXPECT_EQ(JsonGuard::Accepts(text.data(), text.size()), verdict) << text;
    EXPECT_EQ(FedByteByByte(text), verdict) << text;
  }
}

TEST(JsonGuard, ClosingBracketsLowerTheDepth) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += std::string(500, '[') + std::string(500, ']');
  EXPECT_TRUE(JsonGuard::Accepts(text.data(), text.size()));
  const std::string unbalanced = std::string(10, ']') + std::string(513, '[');
  EXPECT_FALSE(JsonGuard::Accepts(unbalanced.data(), unbalanced.size()))
      << "stray closing brackets must not buy extra depth";
}

TEST(JsonGuard, AZeroByteEndsTheScan) {
  JsonGuard guard;
  const std::string text = std::string("{}\0", 3) + std::string(600, '[');
  EXPECT_TRUE(guard.Feed(text.data(), text.size()));
  EXPECT_TRUE(guard.Ended());
  EXPECT_TRUE(guard.Feed(text.data() + 3, 600)) << "nothing after the end is scanned";
}

TEST(JsonGuard, RefusalIsFinal) {
  JsonGuard guard;
  const std::string deep(513, '{');
  EXPECT_FALSE(guard.Feed(deep.data(), deep.size()));
  EXPECT_TRUE(guard.Refused());
  EXPECT_FALSE(guard.Feed("}", 1));
}

TEST(JsonGuard, AStringEndsAtItsOwnQuoteWhereverItFallsInAWord) {
  // Brackets inside strings must not count, and an escaped quote must not end a string,
  // at every position of the eight-byte words the scan reads strings in.
  for (size_t offset = 0; offset < 17; ++offset) {
    const std::string pad(offset, 'x');
    const std::string member = "\"" + pad + "[[\\\"{{" + pad + "\\\\\"";
    std::string text = std::string(511, '[') + member + std::string(511, ']');
    EXPECT_TRUE(JsonGuard::Accepts(text.data(), text.size())) << offset;
    text = std::string(512, '[') + member + "," + pad + "[]" + std::string(512, ']');
    EXPECT_FALSE(JsonGuard::Accepts(text.data(), text.size())) << offset;
  }
}

}  // namespace
