// The message codec: the exact bytes of the library's buffer-to-buffer calls, their failure
// statuses, and the bounds on what a received stream may expand to.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "transport/Bzip2Codec.h"
#include "transport/ChannelTestKit.h"

namespace {

using ChannelTestKit::ReferenceCompress;
using ChannelTestKit::WireBytes;
using IPC::Bzip2Codec;

std::string RandomBytes(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// The status and content the library's own buffer-to-buffer call gives.
int ReferenceDecompress(const std::string& stream, std::string& content) {
  unsigned int length = static_cast<unsigned int>(100 * stream.size());
  content.assign(length, '\0');
  const int status =
      BZ2_bzBuffToBuffDecompress(&content[0], &length, const_cast<char*>(stream.data()),
                                 static_cast<unsigned int>(stream.size()), 0, 0);
  content.resize(status == BZ_OK ? length : 0);
  return status;
}

std::vector<std::string> SampleTexts() {
  return {
      "x",
      R"({"request":{"requestId":1700000000123,"name":"GetName","args":{"0":"a"},"proxyId":7}})",
      std::string("inner\0nul\0bytes", 15),
      std::string(300000, 'a'),
      RandomBytes(150000, 1),
      RandomBytes(1200000, 2)};  // more than one 900k block
}

TEST(Bzip2Codec, CompressionIsByteIdenticalToBufferToBufferAcrossReuse) {
  Bzip2Codec codec;
  std::string stream;
  std::string text;
  // Twice over, with decompression in between, so that every reused block is dirty.
  for (int round = 0; round < 2; ++round) {
    for (const std::string& sample : SampleTexts()) {
      ASSERT_EQ(codec.Compress(sample, stream), BZ_OK);
      if (sample.size() + 1 > Bzip2Codec::kShortTextLimit) {
        EXPECT_EQ(stream, WireBytes(sample)) << "text of " << sample.size() << " bytes";
      } else {  // the short-text compressor's stream: the library must expand it exactly
        std::string content;
        EXPECT_EQ(ReferenceDecompress(stream, content), BZ_OK);
        EXPECT_EQ(content, sample + '\0');
      }
      EXPECT_EQ(stream.compare(0, 4, "BZh9"), 0);
      int status = -1;
      if (stream.size() * 100 > sample.size()) {
        ASSERT_TRUE(codec.Decompress(stream.data(), stream.size(), text, status));
        EXPECT_EQ(text, sample);
      }
    }
  }
}

TEST(Bzip2Codec, DecompressionDropsTheFinalNulAndKeepsInnerOnes) {
  Bzip2Codec codec;
  const std::string text("a\0b\0\0c", 6);
  const std::string stream = WireBytes(text);
  std::string out = "stale";
  int status = -1;
  ASSERT_TRUE(codec.Decompress(stream.data(), stream.size(), out, status));
  EXPECT_EQ(status, BZ_OK);
  EXPECT_EQ(out, text);
}

TEST(Bzip2Codec, EmptyInputAndEmptyContentFailWithStatusZero) {
  Bzip2Codec codec;
  std::string out = "stale";
  int status = -1;
  EXPECT_FALSE(codec.Decompress("", 0, out, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");

  const std::string nothing = ReferenceCompress("");  // a valid stream of no bytes
  out = "stale";
  status = -1;
  EXPECT_FALSE(codec.Decompress(nothing.data(), nothing.size(), out, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");
}

TEST(Bzip2Codec, FailureStatusesMatchTheLibrary) {
  const std::string valid = WireBytes("some message text");
  std::string corrupt = valid;
  corrupt[corrupt.size() / 2] ^= 0x55;
  const std::vector<std::pair<std::string, int>> cases = {
      {ReferenceCompress(std::string(1 << 20, '\0')), BZ_OUTBUFF_FULL},  // a bomb
      {"not a bzip2 stream", BZ_DATA_ERROR_MAGIC},
      {valid.substr(0, valid.size() - 6), BZ_UNEXPECTED_EOF},
      {corrupt, BZ_DATA_ERROR},
  };
  Bzip2Codec codec;
  for (const auto& [stream, expected] : cases) {
    std::string reference;
    ASSERT_EQ(ReferenceDecompress(stream, reference), expected);
    std::string out = "stale";
    int status = 0;
    EXPECT_FALSE(codec.Decompress(stream.data(), stream.size(), out, status));
    EXPECT_EQ(status, expected);
    EXPECT_EQ(out, "");
  }
  // The codec still works after every failure.
  std::string out;
  int status = -1;
  ASSERT_TRUE(codec.Decompress(valid.data(), valid.size(), out, status));
  EXPECT_EQ(out, "some message text");
}

// Content of exactly 100 x the stream's length is taken; one byte more is a bomb.
TEST(Bzip2Codec, ContentMayBeExactlyOneHundredTimesTheStream) {
  Bzip2Codec codec;
  for (size_t streamLength = 40; streamLength < 400; ++streamLength) {
    // Runs of one byte compress to nearly the same length over a wide range of run lengths.
    const std::string atLimit(100 * streamLength, 'z');
    const std::string overLimit(100 * streamLength + 1, 'z');
    const std::string fits = ReferenceCompress(atLimit);
    const std::string bursts = ReferenceCompress(overLimit);
    if (fits.size() != streamLength || bursts.size() != streamLength) continue;

    std::string out;
    int status = -1;
    ASSERT_TRUE(codec.Decompress(fits.data(), fits.size(), out, status));
    EXPECT_EQ(out.size(), atLimit.size() - 1);
    EXPECT_FALSE(codec.Decompress(bursts.data(), bursts.size(), out, status));
    EXPECT_EQ(status, BZ_OUTBUFF_FULL);
    return;
  }
  FAIL() << "no run length compresses to a hundredth of itself";
}

}  // namespace
