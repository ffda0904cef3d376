// The short-text compressor on arbitrary bytes: every stream must expand with libbzip2 to
// exactly its input, and a room one byte short of its stream must be refused. Each input is
// compressed as it is, then stretched periodically to a length its first two bytes choose
// (long runs, tied rotations, blocks up to the compressor's limit), then sent as a message
// through the channel codec.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "LibraryBzip2.h"
#include "transport/Bzip2Codec.h"
#include "transport/SmallBzip2Encoder.h"

namespace {

using IPC::Bzip2Codec;
using IPC::SmallBzip2Encoder;

size_t CheckExpandsToItself(SmallBzip2Encoder& encoder, const unsigned char* data, size_t size) {
  std::vector<unsigned char> stream(Bzip2Codec::CompressCapacity(size));
  const size_t length = encoder.Encode(data, size, stream.data(), stream.size());
  FUZZ_CHECK(length > 0);

  std::string content;  // one byte of room spare: nothing may come past the input
  FUZZ_CHECK(Fuzz::LibraryDecompress(reinterpret_cast<const char*>(stream.data()), length,
                                     size + 1, content) == 0);
  FUZZ_CHECK(content.size() == size);
  FUZZ_CHECK(content.compare(0, size, reinterpret_cast<const char*>(data), size) == 0);
  return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SmallBzip2Encoder encoder;  // reused, as the codec reuses it
  if (size > SmallBzip2Encoder::kMaxLength) size = SmallBzip2Encoder::kMaxLength;
  const size_t length = CheckExpandsToItself(encoder, data, size);
  std::vector<unsigned char> room(length - 1);
  FUZZ_CHECK(encoder.Encode(data, size, room.data(), room.size()) == 0);

  if (size >= 3) {
    const size_t stretch = (data[0] | size_t{data[1]} << 8) % (SmallBzip2Encoder::kMaxLength + 1);
    std::vector<unsigned char> stretched(stretch);
    for (size_t i = 0; i < stretch; ++i) stretched[i] = data[2 + i % (size - 2)];
    CheckExpandsToItself(encoder, stretched.data(), stretched.size());
  }

  static Bzip2Codec codec;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string stream;
  FUZZ_CHECK(codec.Compress(text, stream) == 0);
  std::string back;
  int status = -1;
  if (stream.size() * 100 > text.size()) {
    FUZZ_CHECK(codec.Decompress(stream.data(), stream.size(), back, status));
    FUZZ_CHECK(back == text);
  }
  return 0;
}
