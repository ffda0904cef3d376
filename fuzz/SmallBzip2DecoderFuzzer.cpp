// The short-stream decoder against libbzip2: whatever the decoder accepts, the library must
// decode to the same bytes with the channel's room. An input whose first byte is below 128
// (every stream: they begin with "B") is tried as a stream as it is: noise, and cut or
// corrupted streams grown from the seeds. Any other is a text after that byte, compressed
// by the short-text compressor (first byte below 160: it is instrumented and slower here) or
// by the library (at the block size the next byte picks); the decoder must accept the
// stream whole, and it is then tried with one bit flipped and with its end cut at a place
// the input picks.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "LibraryBzip2.h"
#include "transport/Bzip2Codec.h"
#include "transport/SmallBzip2Decoder.h"
#include "transport/SmallBzip2Encoder.h"

namespace {

using IPC::Bzip2Codec;
using IPC::SmallBzip2Decoder;
using IPC::SmallBzip2Encoder;
using Fuzz::LibraryCompress;
using Fuzz::LibraryDecompress;

SmallBzip2Decoder& Decoder() {
  static SmallBzip2Decoder decoder;  // reused, as the codec reuses it
  return decoder;
}

// True when the decoder accepted the stream; then the library gave the same content.
bool CheckAgainstLibrary(const std::string& stream) {
  const size_t room = static_cast<size_t>(Bzip2Codec::DecompressCapacity(stream.size()));
  std::string decoded;
  if (!Decoder().Decode(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                        room, decoded)) {
    return false;
  }
  std::string expected;
  FUZZ_CHECK(LibraryDecompress(stream.data(), stream.size(), room, expected) == 0);
  FUZZ_CHECK(decoded == expected);
  return true;
}

void CheckDamaged(std::string stream, uint32_t pick) {
  if (stream.empty()) return;
  std::string flipped = stream;
  flipped[pick % flipped.size()] ^= static_cast<char>(1u << (pick >> 29));
  CheckAgainstLibrary(flipped);
  stream.resize(pick % stream.size());
  CheckAgainstLibrary(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] < 128) {
    CheckAgainstLibrary(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
  }
  const uint8_t* text = data + 1;
  const size_t length = size - 1;
  if (length == 0 || length > SmallBzip2Decoder::kMaxLength) return 0;

  uint32_t pick = 2166136261u;  // FNV-1a of the input: where to damage its stream
  for (size_t i = 0; i < size; ++i) pick = (pick ^ data[i]) * 16777619u;

  std::string stream;
  if (data[0] < 160) {
    static SmallBzip2Encoder encoder;
    stream.resize(Bzip2Codec::CompressCapacity(length));
    stream.resize(encoder.Encode(text, length, reinterpret_cast<unsigned char*>(&stream[0]),
                                 stream.size()));
    FUZZ_CHECK(!stream.empty());
  } else {
    stream = LibraryCompress(std::string(reinterpret_cast<const char*>(text), length),
                             1 + text[0] % 9);
  }
  FUZZ_CHECK(CheckAgainstLibrary(stream));
  CheckDamaged(stream, pick);
  return 0;
}
