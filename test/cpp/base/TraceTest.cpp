// The trace's switch and line format.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "base/Trace.h"

namespace {

using IPC::TraceDirection;

class TraceSwitch : public ::testing::Test {
 protected:
  void TearDown() override { IPC::EnableTrace(false); }
};

TEST_F(TraceSwitch, OnlyTheExactModuleNameInTheCommaListSwitchesItOn) {
  for (const char* off : {"", "net", "hostlinks", "host,link", "xhostlink", "hostlink-x"}) {
    IPC::EnableTrace(false);
    IPC::EnableTraceFromNodeDebug(off);
    EXPECT_FALSE(IPC::TraceOn()) << off;
  }
  IPC::EnableTraceFromNodeDebug(nullptr);
  EXPECT_FALSE(IPC::TraceOn());
  for (const char* on : {"hostlink", "net,hostlink", "HOSTLINK,fs", "net, hostlink ,tls"}) {
    IPC::EnableTrace(false);
    IPC::EnableTraceFromNodeDebug(on);
    EXPECT_TRUE(IPC::TraceOn()) << on;
  }
}

TEST(TraceLine, ALongTextIsCutWithItsLengthAndControlCharactersCannotBreakTheLine) {
  const std::string text = "{\"a\":\"\n\x1b[31m" + std::string(1000, 'x') + "\"}";
  const std::string line = IPC::TraceMessageLine(TraceDirection::Response, "my-plugin_callback",
                                                 42, text, std::chrono::microseconds(1234));
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\x1b'), std::string::npos);
  EXPECT_NE(line.find(" pipe=my-plugin_callback plugin=my-plugin bytes=42/" +
                      std::to_string(text.size()) + " time=1.234ms "),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("(" + std::to_string(text.size()) + " bytes)"), std::string::npos) << line;
  EXPECT_LT(line.size(), 700u);
}

}  // namespace
