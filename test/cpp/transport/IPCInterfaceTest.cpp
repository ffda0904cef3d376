// A channel that carries texts only still sends an answer its caller compressed already:
// the stream's text, or a refusal for the reason a named pipe would give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/ChannelTestKit.h"
#include "transport/IPCInterface.h"

namespace {

using ChannelTestKit::WireBytes;
using IPC::ChannelError;

class TextChannel : public IPC::IPCInterface {
 public:
  TextChannel() : IPCInterface("texts", IPC::ServerRequest) {}
  bool Open(uint32_t) override { return true; }
  bool Read(std::string& message, uint32_t) override {
    message.clear();
    return false;
  }
  bool Write(const std::string& message, uint32_t) override {
    written.push_back(message);
    return true;
  }
  void Close() override {}
  std::vector<std::string> written;
};

TEST(IPCInterface, TextOnlyChannelSendsTheTextOfACompressedAnswer) {
  TextChannel channel;
  const std::string answer = R"({"response":{"status":true,"result":"done"}})";
  ASSERT_TRUE(channel.WriteCompressed(WireBytes(answer), answer.size(), 300));
  ASSERT_EQ(channel.written.size(), 1u);
  EXPECT_EQ(channel.written[0], answer);

  const std::string repetitive(20000, 'a');
  EXPECT_FALSE(channel.WriteCompressed(WireBytes(repetitive), repetitive.size(), 300));
  EXPECT_EQ(channel.LastError(), ChannelError::TooRepetitive);
  EXPECT_FALSE(channel.WriteCompressed("BZh9 not a stream", 4, 300));
  EXPECT_EQ(channel.LastError(), ChannelError::BadMessage);
  EXPECT_EQ(channel.written.size(), 1u);
}

}  // namespace
