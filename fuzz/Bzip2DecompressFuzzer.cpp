// The channel's decompression of a received message, on raw bytes: bombs, cut streams,
// empty streams and noise. The library's own buffer-to-buffer call is the oracle, and
// every decompressed text must compress and decompress back to itself.
#include <bzlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "transport/Bzip2Codec.h"

namespace {

using IPC::Bzip2Codec;

constexpr size_t kMaxRoundTrip = 1 << 20;

// One codec for the whole run, as a channel keeps one for its life: its kept blocks serve
// one stream after another, compressing and decompressing in turn.
Bzip2Codec& SharedCodec() {
  static Bzip2Codec codec;
  return codec;
}

// BZ2_bzBuffToBuffDecompress with the channel's capacity: its status, and its content.
int ReferenceDecompress(const uint8_t* data, size_t size, std::string& content) {
  unsigned int length = static_cast<unsigned int>(Bzip2Codec::DecompressCapacity(size));
  content.resize(length);
  const int status =
      BZ2_bzBuffToBuffDecompress(&content[0], &length, reinterpret_cast<char*>(const_cast<uint8_t*>(data)),
                                 static_cast<unsigned int>(size), 0, 0);
  content.resize(status == BZ_OK ? length : 0);
  return status;
}

void CheckRoundTrip(const std::string& text) {
  Bzip2Codec& codec = SharedCodec();
  std::string stream;
  FUZZ_CHECK(codec.Compress(text, stream) == BZ_OK);
  FUZZ_CHECK(!stream.empty());
  // Byte for byte the library's buffer-to-buffer compression, above the short texts
  // (whose own compressor fuzz_small_bzip2 checks).
  if (text.size() + 1 > Bzip2Codec::kShortTextLimit) {
    std::string expected(Bzip2Codec::CompressCapacity(text.size()), '\0');
    unsigned int length = static_cast<unsigned int>(expected.size());
    FUZZ_CHECK(BZ2_bzBuffToBuffCompress(&expected[0], &length, const_cast<char*>(text.c_str()),
                                        static_cast<unsigned int>(text.size() + 1), 9, 0,
                                        0) == BZ_OK);
    expected.resize(length);
    FUZZ_CHECK(stream == expected);
  }

  std::string back;
  int status = -1;
  const bool ok = codec.Decompress(stream.data(), stream.size(), back, status);
  // A text that compresses more than 100 to 1 (a long run of one byte) comes back from a
  // less dense stream than its own: a receiver refuses its own stream, and a channel
  // refuses to send it ("too repetitive").
  if (text.size() + 1 > Bzip2Codec::DecompressCapacity(stream.size())) {
    FUZZ_CHECK(!ok && status == BZ_OUTBUFF_FULL && back.empty());
    return;
  }
  FUZZ_CHECK(ok && status == BZ_OK);
  FUZZ_CHECK(back == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = "left over from the last message";
  int status = 12345;
  const bool ok =
      SharedCodec().Decompress(reinterpret_cast<const char*>(data), size, text, status);

  if (size == 0) {
    FUZZ_CHECK(!ok && status == 0 && text.empty());
    return 0;
  }
  std::string content;
  const int expected = ReferenceDecompress(data, size, content);
  if (expected != BZ_OK) {
    FUZZ_CHECK(!ok && status == expected && text.empty());
    return 0;
  }
  if (content.empty()) {
    // A valid stream of nothing: no NUL to drop, so no message.
    FUZZ_CHECK(!ok && status == 0 && text.empty());
    return 0;
  }
  FUZZ_CHECK(ok && status == BZ_OK);
  FUZZ_CHECK(text.size() == content.size() - 1);
  FUZZ_CHECK(content.compare(0, text.size(), text) == 0);
  // Compressing a bomb's megabytes again would only slow the run down.
  if (text.size() <= kMaxRoundTrip) CheckRoundTrip(text);
  return 0;
}
