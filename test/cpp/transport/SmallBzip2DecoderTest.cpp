// The short-stream decoder: it must decode what every encoder writes for a short text to
// exactly the library's bytes, and decline, for the library to judge, everything else.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/Bzip2Codec.h"
#include "transport/SmallBzip2Decoder.h"
#include "transport/SmallBzip2Encoder.h"

namespace {

using IPC::Bzip2Codec;
using IPC::SmallBzip2Decoder;
using IPC::SmallBzip2Encoder;

std::string LibraryCompress(const std::string& text, int blockSize) {
  std::string stream(Bzip2Codec::CompressCapacity(text.size()), '\0');
  unsigned int length = static_cast<unsigned int>(stream.size());
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(&stream[0], &length, const_cast<char*>(text.data()),
                                     static_cast<unsigned int>(text.size()), blockSize, 0, 0),
            BZ_OK);
  stream.resize(length);
  return stream;
}

std::string OurCompress(const std::string& text) {
  SmallBzip2Encoder encoder;
  std::string stream(Bzip2Codec::CompressCapacity(text.size()), '\0');
  stream.resize(encoder.Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               reinterpret_cast<unsigned char*>(&stream[0]), stream.size()));
  return stream;
}

bool Decode(SmallBzip2Decoder& decoder, const std::string& stream, std::string& content,
            size_t limit = SmallBzip2Decoder::kMaxLength) {
  return decoder.Decode(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                        limit, content);
}

// Texts at the edges of each stage: runs around the first run-length stage's 4 and 4 + 255,
// one byte, every byte value, repeated rotations, and the longest text taken.
std::vector<std::string> EdgeTexts() {
  std::vector<std::string> texts = {"x", "{\"request\":{\"requestId\":1,\"name\":\"Echo\"}}"};
  for (size_t run : {3, 4, 5, 258, 259, 260, 263, 1000}) {
    texts.push_back("ab" + std::string(run, 'z') + "cd");
    texts.push_back(std::string(run, 'q'));
  }
  std::string every;
  for (int i = 0; i < 256; ++i) every.push_back(static_cast<char>(i));
  texts.push_back(every + every);
  std::string rotations;
  while (rotations.size() < 2000) rotations += "abcab";
  texts.push_back(rotations);
  std::string longest;
  for (size_t i = 0; longest.size() < SmallBzip2Decoder::kMaxLength; ++i) {
    longest += std::to_string(i * 7919 % 1009) + (i % 3 ? "," : "\"name\":");
  }
  longest.resize(SmallBzip2Decoder::kMaxLength);
  texts.push_back(longest);
  return texts;
}

TEST(SmallBzip2Decoder, DecodesEveryEncodersStreamOfAShortTextToItsBytes) {
  SmallBzip2Decoder decoder;  // reused, as the codec reuses it
  for (const std::string& text : EdgeTexts()) {
    std::string content;
    ASSERT_TRUE(Decode(decoder, OurCompress(text), content)) << text.size();
    EXPECT_EQ(content, text);
    for (int blockSize : {1, 9}) {
      ASSERT_TRUE(Decode(decoder, LibraryCompress(text, blockSize), content)) << text.size();
      EXPECT_EQ(content, text);
    }
  }
}

TEST(SmallBzip2Decoder, DeclinesWhatItCannotVouchFor) {
  SmallBzip2Decoder decoder;
  const std::string text = EdgeTexts()[1];
  const std::string stream = OurCompress(text);
  std::string content;
  ASSERT_TRUE(Decode(decoder, stream, content));

  // Longer than its limit, or than the room the caller gives.
  EXPECT_FALSE(Decode(decoder, LibraryCompress(std::string(2049, 'a') + "b", 9), content));
  EXPECT_FALSE(Decode(decoder, stream, content, text.size() - 1));
  // A stream without a block, cut short, or with bytes after it.
  EXPECT_FALSE(Decode(decoder, LibraryCompress("", 9), content));
  for (size_t cut = 0; cut < stream.size(); ++cut) {
    EXPECT_FALSE(Decode(decoder, stream.substr(0, cut), content)) << cut;
  }
  EXPECT_FALSE(Decode(decoder, stream + stream, content));
  // Any single bit flipped: what it still accepts (a code length of a table no selector
  // names, the padding) the library decodes to the same bytes.
  for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
    std::string flipped = stream;
    flipped[bit / 8] ^= static_cast<char>(0x80 >> (bit % 8));
    if (!Decode(decoder, flipped, content)) continue;
    std::string expected(4096, '\0');
    unsigned int length = static_cast<unsigned int>(expected.size());
    ASSERT_EQ(BZ2_bzBuffToBuffDecompress(&expected[0], &length, &flipped[0],
                                         static_cast<unsigned int>(flipped.size()), 0, 0),
              BZ_OK)
        << bit;
    expected.resize(length);
    EXPECT_EQ(content, expected) << bit;
  }
}

TEST(SmallBzip2Decoder, TheCodecReportsTheLibrarysStatusForWhatItDeclines) {
  Bzip2Codec codec;
  std::string stream;
  ASSERT_EQ(codec.Compress("{\"response\":{\"status\":true}}", stream), BZ_OK);
  stream[stream.size() / 2] ^= 0x10;
  std::string text;
  int status = 0;
  EXPECT_FALSE(codec.Decompress(stream.data(), stream.size(), text, status));
  EXPECT_EQ(status, BZ_DATA_ERROR);
  EXPECT_TRUE(text.empty());
}

}  // namespace
