// The channel's size limits and hostile input: the 102400-byte boundary on both ends,
// oversized, empty, malformed and bomb messages, sent from raw Linux sockets. (A Windows
// pipe's oversized message is in NamedPipeTest.)
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

#ifndef _WIN32

namespace {

using namespace ChannelTestKit;
using IPC::NamedPipe;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr unsigned int kStatus(int bzStatus) { return static_cast<unsigned int>(bzStatus); }

std::string RandomBytes(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// Random bytes barely compress, and their stream length wanders by a few dozen bytes from
// one length to the next; so look for an exact size around a known good length.
std::string TextCompressingTo(size_t streamLength, size_t hint) {
  constexpr size_t kReach = 400;
  const std::string pool = RandomBytes(hint + kReach, 1);
  for (size_t offset = 0; offset < kReach; ++offset) {
    for (const size_t length : {hint + offset, hint - offset}) {
      const std::string text = pool.substr(0, length);
      if (WireBytes(text).size() == streamLength) return text;
    }
  }
  return "";
}

// A server channel with a raw client socket connected to it.
struct RawClient {
  explicit RawClient(const std::string& tag) : name(UniqueName(tag)), server(name, 1) {
    if (server.Open(300)) fd = RawConnect(name);
  }
  ~RawClient() {
    if (fd >= 0) close(fd);
  }
  std::string name;
  NamedPipe server;
  int fd = -1;
};

TEST(NamedPipeLimits, StreamOfExactly102400BytesTravelsAndOneMoreIsRefused) {
  const std::string fits = TextCompressingTo(102400, 101579);
  const std::string tooLong = TextCompressingTo(102401, 101610);
  ASSERT_FALSE(fits.empty());
  ASSERT_FALSE(tooLong.empty());

  Pair pair("limit");
  ASSERT_TRUE(pair.opened);
  CaptureStderr();
  ASSERT_TRUE(pair.client.Write(fits, 300));
  std::string message;
  ASSERT_TRUE(pair.server.Read(message, 300)) << "the read buffer takes 102400 bytes";
  EXPECT_EQ(message, fits);
  EXPECT_EQ(GetCapturedStderr(), "");

  CaptureStderr();
  EXPECT_FALSE(pair.client.Write(tooLong, 300));
  EXPECT_FALSE(pair.server.Read(message, 100)) << "nothing was sent";
  EXPECT_EQ(
      GetCapturedStderr(),
      Line("Write : Failed to write as input buffer is too long (Size:102401)", pair.name, 3));
}

TEST(NamedPipeLimits, ReceivedMessageLongerThanTheReadBufferIsRejectedWhole) {
  RawClient peer("oversize");
  ASSERT_GE(peer.fd, 0);
  const int bufferSize = 1 << 20;
  ASSERT_EQ(setsockopt(peer.fd, SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize), 0);

  std::string junk(102401, 'j');
  ASSERT_TRUE(RawSend(peer.fd, junk));
  junk.pop_back();
  ASSERT_TRUE(RawSend(peer.fd, junk));  // fits, then fails as a stream
  ASSERT_TRUE(RawSend(peer.fd, WireBytes("after")));

  std::string message = "stale";
  CaptureStderr();
  EXPECT_FALSE(peer.server.Read(message, 300));
  EXPECT_EQ(message, "");
  EXPECT_FALSE(peer.server.Read(message, 300));
  ASSERT_TRUE(peer.server.Read(message, 300)) << "no remainder of the long message is left";
  EXPECT_EQ(message, "after");
  const std::string line = "Read : Failed to decompress  (error:";
  EXPECT_EQ(GetCapturedStderr(), Line(line, peer.name, 1, EMSGSIZE) +
                                     Line(line, peer.name, 1, kStatus(BZ_DATA_ERROR_MAGIC)));
}

TEST(NamedPipeLimits, BombFailsWithOutbuffFull) {
  RawClient peer("bomb");
  ASSERT_GE(peer.fd, 0);
  const std::string bomb = ReferenceCompress(std::string(4 << 20, '\0'));
  ASSERT_LT(bomb.size() * 100, 4u << 20);
  ASSERT_TRUE(RawSend(peer.fd, bomb));
  ASSERT_TRUE(RawSend(peer.fd, WireBytes("after")));

  std::string message;
  CaptureStderr();
  EXPECT_FALSE(peer.server.Read(message, 300));
  EXPECT_EQ(message, "");
  ASSERT_TRUE(peer.server.Read(message, 300));
  EXPECT_EQ(message, "after");
  EXPECT_EQ(GetCapturedStderr(),
            Line("Read : Failed to decompress  (error:", peer.name, 1, kStatus(BZ_OUTBUFF_FULL)));
}

// An empty socket message and a stream of nothing are both failed reads (status 0); neither
// is taken for the peer leaving.
TEST(NamedPipeLimits, EmptyMessagesAreFailedReads) {
  RawClient peer("empty");
  ASSERT_GE(peer.fd, 0);
  ASSERT_TRUE(RawSend(peer.fd, ""));
  ASSERT_TRUE(RawSend(peer.fd, ReferenceCompress("")));
  ASSERT_TRUE(RawSend(peer.fd, WireBytes("after")));

  std::string message;
  CaptureStderr();
  EXPECT_FALSE(peer.server.Read(message, 300));
  EXPECT_FALSE(peer.server.Read(message, 300));
  ASSERT_TRUE(peer.server.Read(message, 300));
  EXPECT_EQ(message, "after");
  const std::string line = Line("Read : Failed to decompress  (error:", peer.name, 1, 0);
  EXPECT_EQ(GetCapturedStderr(), line + line);
}

TEST(NamedPipeLimits, EmptyWriteIsRefusedAndSendsNothing) {
  const std::string name = UniqueName("emptywrite");
  const int listener = RawListen(name);
  ASSERT_GE(listener, 0);
  NamedPipe client(name, IPC::ClientCallback);
  ASSERT_TRUE(client.Open(300));
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);

  CaptureStderr();
  EXPECT_FALSE(client.Write("", 300));
  EXPECT_EQ(GetCapturedStderr(),
            Line("Write : Failed to write as input message is empty", name, 4));
  char byte;
  EXPECT_EQ(recv(peer, &byte, 1, MSG_DONTWAIT), -1);
  EXPECT_EQ(errno, EAGAIN);
  close(peer);
  close(listener);
}

}  // namespace

#endif  // _WIN32
