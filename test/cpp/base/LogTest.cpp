// The log's line forms, read back from a redirected stderr.
#include "base/Log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Captured(void (*emit)()) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  emit();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "") << "the log never writes to stdout";
  return testing::internal::GetCapturedStderr();
}

TEST(Log, PlainFormsCarryTheirSeverityWord) {
  EXPECT_EQ(Captured([] { IPC::LogInfo("a"); }), "IPC | Info | a\n");
  EXPECT_EQ(Captured([] { IPC::LogWarning("b"); }), "IPC | Warning | b\n");
  EXPECT_EQ(Captured([] { IPC::LogError("c"); }), "IPC | Error | c\n");
  EXPECT_EQ(Captured([] { IPC::LogFatal("d"); }), "IPC | Fatal | d\n");
}

TEST(Log, PercentSignsArePrintedUnchanged) {
  EXPECT_EQ(Captured([] { IPC::LogError("100% %s %d %n"); }), "IPC | Error | 100% %s %d %n\n");
}

TEST(Log, ChannelFormsPrintNameAndMode) {
  EXPECT_EQ(Captured([] { IPC::LogError("Open : x", "plug", 3); }),
            "IPC | Error | Open : x (PluginId:plug) (Mode:3)\n");
  EXPECT_EQ(Captured([] { IPC::LogError("Open : x", "", 1); }),
            "IPC | Error | Open : x (PluginId:) (Mode:1)\n");
}

TEST(Log, ErrorCodesPrintAsUnsigned32Bit) {
  EXPECT_EQ(Captured([] { IPC::LogError("w", "p", 4, 109); }),
            "IPC | Error | w (PluginId:p) (Mode:4) (Error:109)\n");
  EXPECT_EQ(Captured([] { IPC::LogError("r", "p", 4, static_cast<unsigned int>(-8)); }),
            "IPC | Error | r (PluginId:p) (Mode:4) (Error:4294967288)\n");
  EXPECT_EQ(Captured([] { IPC::LogError("r", "p", 4, static_cast<unsigned int>(-4)); }),
            "IPC | Error | r (PluginId:p) (Mode:4) (Error:4294967292)\n");
}

TEST(Log, APeerRepeatingALineGetsItWrittenOnceThenASummary) {
  const std::string out = Captured([] {
    for (int i = 0; i < 10000; ++i) {
      IPC::LogPeerError("Peer : unknown name", "Peer : unknown name:" + std::to_string(i));
      IPC::LogPeerError("Peer : unreadable", "Peer : unreadable");
    }
    IPC::FlushPeerLog();
    IPC::LogPeerError("Peer : unknown name", "Peer : unknown name:again");
    IPC::FlushPeerLog();
  });
  // Within a second: each kind once whole, then its count when the run ends. A kind whose
  // run was ended starts afresh with its whole line.
  EXPECT_EQ(out,
            "IPC | Error | Peer : unknown name:0\n"
            "IPC | Error | Peer : unreadable\n"
            "IPC | Error | Peer : unknown name (9999 more like it)\n"
            "IPC | Error | Peer : unreadable (9999 more like it)\n"
            "IPC | Error | Peer : unknown name:again\n");
}

TEST(Log, LinesWrittenWhileAPeerCausesThemAreThrottledByTheirText) {
  const std::string out = Captured([] {
    {
      IPC::PeerCausedLines peerCaused;
      for (int i = 0; i < 1000; ++i) {
        IPC::LogError("Map : JSON parse failed");
        IPC::LogError("Open : read failed", "pipe", 4, 11);
      }
    }
    IPC::LogError("Map : JSON parse failed");  // not the peer's doing: written
    IPC::FlushPeerLog();
  });
  EXPECT_EQ(out,
            "IPC | Error | Map : JSON parse failed\n"
            "IPC | Error | Open : read failed (PluginId:pipe) (Mode:4) (Error:11)\n"
            "IPC | Error | Map : JSON parse failed\n"
            "IPC | Error | Map : JSON parse failed (999 more like it)\n"
            "IPC | Error | Open : read failed (999 more like it)\n");
}

}  // namespace
