// Peer-controlled text in log and trace lines, and in errors handed to JavaScript.
#include <gtest/gtest.h>

#include <string>

#include "base/PeerText.h"
#include "base/Trace.h"

namespace {

using IPC::PeerText;
using IPC::ValidUtf8;

TEST(PeerText, C1ControlsBidiOverridesAndInvalidBytesAreEscaped) {
  // U+0085 (next line), U+009B (the one-byte CSI), U+202E (right-to-left override),
  // U+2066 (left-to-right isolate), a Latin-1 byte, a cut-off 4-byte sequence, and what
  // stays as it is: é, an emoji, U+00A0, U+202F.
  const std::string text =
      "a\xC2\x85" "b\xC2\x9B" "31m\xE2\x80\xAE" "c\xE2\x81\xA6" "d\xE9" "e\xF0\x9F\x98" "f"
      "\xC3\xA9\xF0\x9F\x98\x80\xC2\xA0\xE2\x80\xAF\\";
  EXPECT_EQ(PeerText(text),
            "a\\u0085b\\u009b31m\\u202ec\\u2066d\\xe9e\\xf0\\x9f\\x98f"
            "\xC3\xA9\xF0\x9F\x98\x80\xC2\xA0\xE2\x80\xAF\\\\");
  // An overlong form and an encoded surrogate are not characters either.
  EXPECT_EQ(PeerText("\xC0\xAF\xED\xA0\x80"), "\\xc0\\xaf\\xed\\xa0\\x80");
}

TEST(PeerText, TheCutFallsOnACharacterBoundary) {
  // Three bytes shown at most: the two-byte é at bytes 3 and 4 is left out whole.
  EXPECT_EQ(PeerText("ab\xC3\xA9z", 3), "ab... (5 bytes)");
  EXPECT_EQ(PeerText("ab\xC3\xA9z", 4), "ab\xC3\xA9... (5 bytes)");
  const std::string emojis = std::string(498, 'x') + "\xF0\x9F\x98\x80\xF0\x9F\x98\x80";
  const std::string line = IPC::TraceMessageLine(IPC::TraceDirection::Response, "p", 1, emojis,
                                                 std::chrono::microseconds(0));
  EXPECT_EQ(ValidUtf8(line), line);
  EXPECT_NE(line.find(std::string(498, 'x') + "... (506 bytes)"), std::string::npos) << line;
}

TEST(ValidUtf8, EachIllFormedSequenceBecomesOneReplacementCharacter) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(ValidUtf8("caf\xE9"), "caf" + fffd);
  EXPECT_EQ(ValidUtf8("a\xF0\x9F\x98z"), "a" + fffd + "z");  // one maximal subpart
  EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), fffd + fffd + fffd);   // a surrogate: three
  EXPECT_EQ(ValidUtf8("\xC0\xAF"), fffd + fffd);
  EXPECT_EQ(ValidUtf8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);
  EXPECT_EQ(ValidUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
  const std::string valid = "plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
  EXPECT_EQ(ValidUtf8(valid), valid);
}

}  // namespace
