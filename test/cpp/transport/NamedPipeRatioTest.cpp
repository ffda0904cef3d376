// The sender keeps to the receiver's decompression rule (content at most 100 times the
// stream): a text that compresses better than that is refused before anything is sent, as
// its peer would refuse it after a wasted trip and leave its sender waiting for an answer.
#include <gtest/gtest.h>

#include <string>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;
using IPC::ChannelError;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// 4699 letters a and a NUL compress to 47 bytes: exactly 100 times, the most the receiver
// takes. One letter more still compresses to 47 bytes.
const std::string kAtTheLimit(4699, 'a');
const std::string kPastTheLimit(4700, 'a');

TEST(NamedPipeRatio, TextAtTheRatioLimitTravelsWithItsSizes) {
  ASSERT_EQ(WireBytes(kAtTheLimit).size(), 47u);
  Pair pair("ratio_fits");
  ASSERT_TRUE(pair.opened);
  CaptureStderr();
  ASSERT_TRUE(pair.client.Write(kAtTheLimit, 300));
  EXPECT_EQ(pair.client.LastWriteSizes().compressed, 47u);
  EXPECT_EQ(pair.client.LastWriteSizes().text, kAtTheLimit.size());
  std::string message;
  ASSERT_TRUE(pair.server.Read(message, 300));
  EXPECT_EQ(message, kAtTheLimit);
  EXPECT_EQ(pair.server.LastReadSizes().compressed, 47u);
  EXPECT_EQ(pair.server.LastReadSizes().text, kAtTheLimit.size());
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(NamedPipeRatio, TextTheReceiverWouldRefuseToDecompressIsNeverSent) {
  ASSERT_EQ(WireBytes(kPastTheLimit).size(), 47u);
  Pair pair("ratio_refused");
  ASSERT_TRUE(pair.opened);
  const std::string argument(20000, 'a');  // the repetitive argument of a real call
  for (const std::string& text : {kPastTheLimit, argument}) {
    CaptureStderr();
    EXPECT_FALSE(pair.client.Write(text, 300));
    EXPECT_EQ(pair.client.LastError(), ChannelError::TooRepetitive);
    const std::string stream = std::to_string(WireBytes(text).size());
    EXPECT_EQ(GetCapturedStderr(),
              Line("Write : Failed to write as input message compresses more than 100:1, "
                   "which the receiver refuses (Size:" +
                       std::to_string(text.size()) + " to " + stream + ")",
                   pair.name, 3));
    std::string message;
    EXPECT_FALSE(pair.server.Read(message, 20));  // nothing was sent
    EXPECT_EQ(pair.server.LastError(), ChannelError::Timeout);
  }
  // The host's answers are held to the same rule.
  std::string message;
  ASSERT_TRUE(pair.client.Write("call", 300));
  ASSERT_TRUE(pair.server.Read(message, 300));
  CaptureStderr();
  EXPECT_FALSE(pair.server.Write(argument, 300));
  EXPECT_EQ(pair.server.LastError(), ChannelError::TooRepetitive);
  EXPECT_NE(GetCapturedStderr(), "");
  EXPECT_FALSE(pair.client.Read(message, 20));
}

}  // namespace
