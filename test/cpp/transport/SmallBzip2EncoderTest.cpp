// The short-text compressor: every stream it writes must expand, with libbzip2 and with the
// bzip2 program, to exactly the bytes given, at the edges of each coding stage.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "transport/Bzip2Codec.h"
#include "transport/SmallBzip2Encoder.h"

namespace {

using IPC::Bzip2Codec;
using IPC::SmallBzip2Encoder;

std::string Encode(SmallBzip2Encoder& encoder, const std::string& bytes) {
  std::string stream(Bzip2Codec::CompressCapacity(bytes.size()), '\0');
  const size_t length =
      encoder.Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                     reinterpret_cast<unsigned char*>(&stream[0]), stream.size());
  EXPECT_GT(length, 0u) << "no stream for " << bytes.size() << " bytes";
  stream.resize(length);
  return stream;
}

std::string LibraryDecompress(const std::string& stream, int& status) {
  std::string content(1 << 20, '\0');
  unsigned int length = static_cast<unsigned int>(content.size());
  status = BZ2_bzBuffToBuffDecompress(&content[0], &length, const_cast<char*>(stream.data()),
                                      static_cast<unsigned int>(stream.size()), 0, 0);
  content.resize(status == BZ_OK ? length : 0);
  return content;
}

// `bzip2 -dc` on the stream; a warning or a failure on its side is part of the output.
std::string ProgramDecompress(const std::string& stream) {
  char path[] = "/tmp/hostlink-small-bzip2-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "mkstemp failed";
  const bool written =
      write(fd, stream.data(), stream.size()) == static_cast<ssize_t>(stream.size());
  close(fd);
  std::string content = written ? "" : "write failed";
  FILE* program =
      popen(("bzip2 -dc < " + std::string(path) + " 2>&1; echo \"~exit $?\"").c_str(), "r");
  if (program != nullptr) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, program)) > 0) content.append(buffer, got);
    pclose(program);
  }
  unlink(path);
  return content;
}

void ExpectBothDecodersGiveBack(const std::string& stream, const std::string& bytes) {
  // Compared whole, not printed: a failure would otherwise print kilobytes of bytes.
  int status = -1;
  EXPECT_TRUE(LibraryDecompress(stream, status) == bytes)
      << "library, " << bytes.size() << " bytes";
  EXPECT_EQ(status, BZ_OK);
  const std::string program = ProgramDecompress(stream);
  EXPECT_TRUE(program == bytes + "~exit 0\n")
      << "program, " << bytes.size()
      << " bytes: " << program.substr(program.size() > 300 ? program.size() - 300 : 0);
}

TEST(SmallBzip2Encoder, RunsAtTheRunLengthStageEdgesExpandToTheSameRuns) {
  SmallBzip2Encoder encoder;
  for (const size_t run : {1, 3, 4, 5, 255, 256, 259, 1022}) {  // framed, 1022 fills the 2 KB
    // Alone, then between other bytes, so that a count byte meets the same value again.
    ExpectBothDecodersGiveBack(Encode(encoder, std::string(run, 'q')), std::string(run, 'q'));
    const std::string framed = "q" + std::string(run, 'r') + "rq" + std::string(run, '\0') + "r";
    ExpectBothDecodersGiveBack(Encode(encoder, framed), framed);
  }
}

TEST(SmallBzip2Encoder, EmptyInputIsAStreamWithNoBlock) {
  SmallBzip2Encoder encoder;
  const std::string stream = Encode(encoder, "");
  EXPECT_EQ(stream.size(), 14u);  // header, end-of-stream magic and a zero CRC
  ExpectBothDecodersGiveBack(stream, "");
}

TEST(SmallBzip2Encoder, EveryByteValueSkewedCountsAndTiedRotationsExpandExactly) {
  SmallBzip2Encoder encoder;
  std::string all;
  for (int value = 0; value < 256; ++value) all.push_back(static_cast<char>(value));
  ExpectBothDecodersGiveBack(Encode(encoder, all), all);
  ExpectBothDecodersGiveBack(Encode(encoder, all + all), all + all);
  // Skewed counts over a long block: codes of many lengths, many selectors.
  std::mt19937 random(7);
  std::geometric_distribution<int> skew(0.35);
  std::string skewed(SmallBzip2Encoder::kMaxLength, '\0');
  for (char& byte : skewed) byte = static_cast<char>(skew(random) % 256);
  ExpectBothDecodersGiveBack(Encode(encoder, skewed), skewed);
  // Periodic texts leave rotations tied in full.
  std::string periodic;
  for (int i = 0; i < 300; ++i) periodic += "ab";
  ExpectBothDecodersGiveBack(Encode(encoder, periodic), periodic);
}

TEST(SmallBzip2Encoder, CodecSendsShortMessagesThroughItWithinTheCapacity) {
  Bzip2Codec codec;
  const std::string request =
      R"({"request":{"requestId":1700000000123,"name":"GetName","args":{"0":"a"},"proxyId":7}})";
  for (const std::string& text : {std::string(), std::string("x"), request,
                                  std::string(Bzip2Codec::kShortTextLimit - 1, '~')}) {
    std::string stream;
    ASSERT_EQ(codec.Compress(text, stream), BZ_OK);
    EXPECT_LE(stream.size(), Bzip2Codec::CompressCapacity(text.size()));
    ExpectBothDecodersGiveBack(stream, text + '\0');
    std::string back = "stale";
    int status = -1;
    ASSERT_TRUE(codec.Decompress(stream.data(), stream.size(), back, status));
    EXPECT_EQ(back, text);
  }
}

TEST(SmallBzip2Encoder, TheCodeLengthLimiterKeepsSkewedCodesWithinTheLimitAndComplete) {
  // Fibonacci counts make the deepest tree there is: unlimited, symbol 0 would take 39 bits.
  uint32_t frequency[258] = {};
  uint32_t a = 1, b = 1;
  for (int s = 0; s < 40; ++s) {
    frequency[s] = a;
    const uint32_t next = a + b;
    a = b;
    b = next;
  }
  for (const int alphaSize : {41, 258}) {
    for (const int limit : {SmallBzip2Encoder::kMinCodeLengthLimit, 12, SmallBzip2Encoder::kMaxCodeLength}) {
      uint8_t length[258] = {};
      EXPECT_GT(SmallBzip2Encoder::CodeLengths(frequency, alphaSize, limit, length), 0);
      uint64_t kraft = 0;  // in units of 2^-limit: a complete prefix code sums to 2^limit
      for (int s = 0; s < alphaSize; ++s) {
        ASSERT_GE(length[s], 1) << s;
        ASSERT_LE(length[s], limit) << s;
        kraft += uint64_t{1} << (limit - length[s]);
        // A more frequent symbol never gets a longer code (zero counts as one).
        for (int t = 0; t < alphaSize; ++t) {
          const uint32_t fs = frequency[s] == 0 ? 1 : frequency[s];
          const uint32_t ft = frequency[t] == 0 ? 1 : frequency[t];
          if (fs > ft) {
            ASSERT_LE(length[s], length[t]) << s << " " << t;
          }
        }
      }
      EXPECT_EQ(kraft, uint64_t{1} << limit) << alphaSize << " symbols, limit " << limit;
    }
  }
  // Within the limit nothing is flattened.
  uint32_t even[258];
  std::fill(even, even + 258, 5u);
  uint8_t length[258] = {};
  EXPECT_EQ(SmallBzip2Encoder::CodeLengths(even, 258, SmallBzip2Encoder::kMaxCodeLength, length), 0);
}

TEST(SmallBzip2Encoder, AStreamWhoseCodesTheLimiterFlattenedStillExpandsExactly) {
  // A limit of 9 bits makes the limiter work on a skewed text of 2 KB, which never needs
  // it at 17 bits.
  std::mt19937 random(11);
  std::geometric_distribution<int> skew(0.08);
  std::string skewed(SmallBzip2Encoder::kMaxLength, '\0');
  for (char& byte : skewed) byte = static_cast<char>(skew(random) % 256);
  SmallBzip2Encoder usual;
  ExpectBothDecodersGiveBack(Encode(usual, skewed), skewed);
  EXPECT_EQ(usual.LastLimiterRounds(), 0);
  SmallBzip2Encoder limited(SmallBzip2Encoder::kMinCodeLengthLimit);
  ExpectBothDecodersGiveBack(Encode(limited, skewed), skewed);
  EXPECT_GT(limited.LastLimiterRounds(), 0);
}

TEST(SmallBzip2Encoder, InputOverItsLimitOrStreamOverTheRoomIsRefused) {
  SmallBzip2Encoder encoder;
  const std::string longest(SmallBzip2Encoder::kMaxLength + 1, 'a');
  unsigned char room[4096];
  EXPECT_EQ(encoder.Encode(reinterpret_cast<const unsigned char*>(longest.data()), longest.size(),
                           room, sizeof room),
            0u);
  const std::string all = "0123456789abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(
      encoder.Encode(reinterpret_cast<const unsigned char*>(all.data()), all.size(), room, 40), 0u);
}

}  // namespace
